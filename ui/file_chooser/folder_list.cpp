#include "folder_list.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include "file_paths.h"

namespace quarnel {

namespace {

constexpr int path_role = Qt::UserRole;
constexpr int level_role = Qt::UserRole + 1;
constexpr int indent_px = 8;

// Shifts every entry right by its depth, so the ancestors read as a tree.
class IndentDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem shifted(option);
        shifted.rect.adjust(indent(index), 0, 0, 0);
        QStyledItemDelegate::paint(painter, shifted, index);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(indent(index), 0);
    }

  private:
    static int indent(const QModelIndex& index) {
        return index.data(level_role).toInt() * indent_px;
    }
};

// The folder and each of its ancestors, root first.
QStringList chain_of(const QString& folder) {
    QStringList chain;
    QString current = folder;
    for (;;) {
        chain.prepend(current);
        const QString parent = QFileInfo(current).path();
        if (parent == current) break;
        current = parent;
    }
    return chain;
}

QString shown_name(const QString& folder) {
    const QString name = QFileInfo(folder).fileName();
    return name.isEmpty() ? native_path(folder) : name;
}

}  // namespace

FolderList::FolderList(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new IndentDelegate(this));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemDoubleClicked, this,
            [this](const QListWidgetItem* item) { open_entry(item); });
}

bool FolderList::set_path(const QString& path) {
    const QString folder = QDir::cleanPath(QDir(m_path.isEmpty() ? QDir::currentPath() : m_path)
                                               .absoluteFilePath(QDir::fromNativeSeparators(path)));
    if (folder == m_path) return true;
    if (const std::optional<QString> error = folder_open_error(folder)) {
        emit open_failed(folder_open_message(folder, *error));
        return false;
    }
    m_path = folder;
    fill();
    emit path_changed();
    return true;
}

void FolderList::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && currentItem() != nullptr) {
        // Enter opens the folder here; it must not reach the dialog's default button.
        open_entry(currentItem());
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void FolderList::open_entry(const QListWidgetItem* item) {
    if (item == nullptr) return;
    // An entry that cannot be opened may be gone: read the list again, which
    // also puts the highlight back on the current folder.
    if (!set_path(item->data(path_role).toString())) fill();
}

void FolderList::fill() {
    clear();
    const QIcon open_icon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed_icon = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const QStringList chain = chain_of(m_path);
    int level = 0;
    for (const QString& folder : chain) {
        auto* entry = new QListWidgetItem(open_icon, shown_name(folder), this);
        entry->setData(path_role, folder);
        entry->setData(level_role, level++);
    }
    const QListWidgetItem* current = item(count() - 1);
    const QDir dir(m_path);
    const QStringList subfolders =
        dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString& name : subfolders) {
        auto* entry = new QListWidgetItem(closed_icon, name, this);
        entry->setData(path_role, dir.absoluteFilePath(name));
        entry->setData(level_role, level);
    }
    setCurrentRow(row(current));
    scrollToItem(current);
}

}  // namespace quarnel
