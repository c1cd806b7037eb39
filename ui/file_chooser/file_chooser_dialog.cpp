#include "file_chooser_dialog.h"

namespace quarnel {

std::optional<QString> show_file_chooser(QWidget*) { return std::nullopt; }

}  // namespace quarnel
