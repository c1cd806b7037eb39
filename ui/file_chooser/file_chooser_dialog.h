#pragma once

#include <QString>
#include <QWidget>
#include <optional>

namespace quarnel {

// Shows the modal chooser "frmOpenSave" titled "Data File Name" over `parent`
// in the process's current folder. Returns the accepted path, or nothing when
// the dialog was cancelled or closed.
std::optional<QString> show_file_chooser(QWidget* parent);

}  // namespace quarnel
