#pragma once

#include <QListWidget>
#include <QString>

namespace quarnel {

// A file list in the classic style: the files of one folder whose names match
// a wildcard pattern (several patterns may be joined by ";"), sorted by name.
// Paths are in Qt's form ("/" separators).
class FileList : public QListWidget {
    Q_OBJECT

  public:
    explicit FileList(QWidget* parent = nullptr);

    QString folder() const { return m_folder; }
    // Lists `folder` (absolute, or relative to the current folder). A folder
    // that cannot be listed is reported through open_failed and the list stays
    // where it was. Emits folder_changed when the folder changes.
    bool set_folder(const QString& folder);

    QString pattern() const { return m_pattern; }
    // Emits pattern_changed when the pattern changes.
    void set_pattern(const QString& pattern);

    // Takes a typed text as the list's file name, relative to its folder:
    // - a folder: the list moves there (folder_changed follows even when it is
    //   the folder already shown, and the list is read again);
    // - a pattern, alone or after a folder: the pattern (and folder) change;
    // - a file that the list shows: it is selected and handled as a double-click.
    // Returns false, changing nothing, when the text is none of these. A folder
    // that cannot be listed is reported through open_failed and counts as taken.
    bool take_file_name(const QString& text);

  signals:
    // A file was picked with the mouse or the keyboard.
    void file_clicked(const QString& name);
    void file_double_clicked(const QString& name);
    void folder_changed();
    void pattern_changed();
    void open_failed(const QString& message);

  private:
    bool move_to(const QString& folder, bool report_same_folder);
    QString resolve(const QString& text) const;
    void fill();

    QString m_folder;
    QString m_pattern = QStringLiteral("*");
    bool m_filling = false;
};

}  // namespace quarnel
