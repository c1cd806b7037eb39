#include "file_chooser_dialog.h"

#include "frm_open_save.h"

namespace quarnel {

std::optional<QString> show_file_chooser(QWidget* parent) {
    // Built anew for every use: OK starts disabled and the lists start in the
    // process's current folder, where the last use left it.
    FrmOpenSave dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Data File Name"));
    dialog.reset_name_box();
    dialog.exec();
    return dialog.accepted_path();
}

}  // namespace quarnel
