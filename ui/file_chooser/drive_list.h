#pragma once

#include <QComboBox>
#include <QString>
#include <QStringList>
#include <optional>

namespace quarnel {

// The root folders offered as drives: the drive letters on Windows; elsewhere
// "/" followed by the roots of the other mounted volumes that hold files
// (pseudo file systems such as proc, sysfs or tmpfs are left out).
QStringList mounted_drive_roots();

// A drop-down list of drives. Each drive remembers the last folder used on it
// for the whole process, as the system keeps a current folder per drive.
// Paths are in Qt's form ("/" separators); the list shows them natively.
class DriveList : public QComboBox {
    Q_OBJECT

  public:
    explicit DriveList(QWidget* parent = nullptr);

    // Root folder of the selected drive; empty before a drive is set.
    QString drive() const;
    // Selects the drive that holds `path` and remembers `path` as that drive's
    // current folder. Emits drive_changed when the selection changes.
    void set_drive(const QString& path);
    // Selects the drive with root `root` without emitting drive_changed.
    void select_silently(const QString& root);
    // The selected drive's current folder: the last folder used on it while it
    // still exists, otherwise its root.
    QString current_folder() const;

    // Remembers `folder` as the current folder of the drive that holds it.
    void remember_folder(const QString& folder);
    // The root among the listed drives that holds `path` (the longest match).
    QString drive_of(const QString& path) const;

    // Replaces the drive roots of lists created from now on (tests, or a
    // caller that offers its own set); nothing restores the mounted volumes.
    static void set_roots_override(std::optional<QStringList> roots);
    // Forgets every drive's current folder.
    static void forget_folders();

  signals:
    // The selection changed, by the user or by set_drive.
    void drive_changed();

  private:
    int index_of_root(const QString& root) const;
    int add_drive(const QString& root);

    bool m_silent = false;
};

}  // namespace quarnel
