#pragma once

#include <QListWidget>
#include <QString>

namespace quarnel {

// A folder list in the classic style: the current folder's ancestors from the
// root down, the current folder itself (highlighted), then its subfolders,
// each level indented. A double-click or Enter on an entry opens it.
// Paths are in Qt's form ("/" separators).
class FolderList : public QListWidget {
    Q_OBJECT

  public:
    explicit FolderList(QWidget* parent = nullptr);

    QString path() const { return m_path; }
    // Moves to `path` (absolute, or relative to the current path). A folder
    // that cannot be listed is reported through open_failed and the list stays
    // where it was. Emits path_changed when the path changes.
    bool set_path(const QString& path);

  signals:
    void path_changed();
    void open_failed(const QString& message);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void open_entry(const QListWidgetItem* item);
    void fill();

    QString m_path;
};

}  // namespace quarnel
