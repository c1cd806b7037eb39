#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <array>
#include <optional>

#include "drive_list.h"
#include "file_list.h"
#include "folder_list.h"

namespace quarnel {

// The data file chooser: a drive list, a folder list, a file list filtered by
// "*.p-d", a file-name box, OK and Cancel. It works in the process's current
// folder and makes every folder it moves to the current one, so the next
// chooser opens where this one was left. Built anew for every use.
class FrmOpenSave : public QDialog {
    Q_OBJECT

  public:
    // Builds the dialog centred on the screen, with its lists in the process's
    // current folder.
    explicit FrmOpenSave(QWidget* parent = nullptr);

    // Puts the pattern into the file-name box and selects all of it, so that
    // typing replaces it.
    void reset_name_box();

    // The path that the dialog accepted; nothing until it accepts one.
    const std::optional<QString>& accepted_path() const { return m_accepted_path; }

  private:
    void build_controls();
    void open_in_current_folder();

    void on_drive_changed();
    void on_folder_changed();
    void on_file_folder_changed();
    void on_file_pattern_changed();
    void on_name_changed(const QString& text);
    void on_command_click(int index);

    void accept_listed_file(const QString& name);
    void accept_typed_name();
    void accept_path(const QString& path);
    void show_message(const QString& text);

    // Controls keep the names under which they are known.
    std::array<QLabel*, 4> lblOpenSave{};
    QLineEdit* txtOpenSave = nullptr;
    FileList* filOpenSave = nullptr;
    DriveList* drvOpenSave = nullptr;
    FolderList* dirOpenSave = nullptr;
    std::array<QPushButton*, 2> cmdOpenSave{};

    QString m_drive;  // root of the last drive that could be opened
    std::optional<QString> m_accepted_path;
};

}  // namespace quarnel
