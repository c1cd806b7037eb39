#include "file_list.h"

#include <QDir>
#include <QFileInfo>

#include "file_paths.h"

namespace quarnel {

namespace {

bool is_pattern(const QString& name) {
    return name.contains(u'*') || name.contains(u'?');
}

}  // namespace

FileList::FileList(QWidget* parent) : QListWidget(parent) {
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemClicked, this,
            [this](const QListWidgetItem* item) { emit file_clicked(item->text()); });
    connect(this, &QListWidget::itemDoubleClicked, this,
            [this](const QListWidgetItem* item) { emit file_double_clicked(item->text()); });
    // Moving through the list with the arrow keys picks files as clicks do.
    connect(this, &QListWidget::itemSelectionChanged, this, [this] {
        const QList<QListWidgetItem*> selected = selectedItems();
        if (!m_filling && !selected.isEmpty()) emit file_clicked(selected.first()->text());
    });
}

bool FileList::set_folder(const QString& folder) {
    return move_to(resolve(folder), false);
}

void FileList::set_pattern(const QString& pattern) {
    if (pattern == m_pattern) return;
    m_pattern = pattern;
    fill();
    emit pattern_changed();
}

bool FileList::take_file_name(const QString& text) {
    // A NUL would cut the name short in every file system call.
    if (text.isEmpty() || text.contains(QChar(u'\0'))) return false;
    const QString typed = QDir::fromNativeSeparators(text);
    const QString target = resolve(typed);
    if (QFileInfo(target).isDir()) {
        move_to(target, true);
        return true;
    }

    const qsizetype cut = typed.lastIndexOf(u'/');
    const QString name = typed.mid(cut + 1);
    if (is_pattern(name)) {
        // Keep the separator of a root folder such as "/".
        const QString folder = cut < 0 ? m_folder : resolve(typed.left(cut + 1));
        if (const std::optional<QString> error = folder_open_error(folder)) {
            emit open_failed(folder_open_message(folder, *error));
            return true;
        }
        const bool pattern_changes = name != m_pattern;
        const bool folder_changes = folder != m_folder;
        m_pattern = name;
        m_folder = folder;
        fill();
        // The pattern first: the folder change then puts the new pattern into view.
        if (pattern_changes) emit pattern_changed();
        if (folder_changes) emit folder_changed();
        return true;
    }

    if (QFileInfo(target).path().compare(m_folder, file_name_case()) != 0) return false;
    const Qt::MatchFlags exact = file_name_case() == Qt::CaseSensitive
                                     ? Qt::MatchFixedString | Qt::MatchCaseSensitive
                                     : Qt::MatchFixedString;
    const QList<QListWidgetItem*> listed = findItems(name, exact);
    if (listed.isEmpty()) return false;
    setCurrentItem(listed.first());
    emit file_double_clicked(listed.first()->text());
    return true;
}

bool FileList::move_to(const QString& folder, bool report_same_folder) {
    if (folder == m_folder && !report_same_folder) return true;
    if (const std::optional<QString> error = folder_open_error(folder)) {
        emit open_failed(folder_open_message(folder, *error));
        return false;
    }
    m_folder = folder;
    fill();
    emit folder_changed();
    return true;
}

QString FileList::resolve(const QString& text) const {
    const QDir base(m_folder.isEmpty() ? QDir::currentPath() : m_folder);
    return QDir::cleanPath(base.absoluteFilePath(QDir::fromNativeSeparators(text)));
}

void FileList::fill() {
    m_filling = true;
    clear();
    if (!m_folder.isEmpty()) {
        QStringList filters;
        for (const QString& part : m_pattern.split(u';', Qt::SkipEmptyParts)) {
            if (!part.trimmed().isEmpty()) filters << part.trimmed();
        }
        if (filters.isEmpty()) filters << QStringLiteral("*");
        QDir::Filters kinds = QDir::Files;
        if (file_name_case() == Qt::CaseSensitive) kinds |= QDir::CaseSensitive;
        addItems(QDir(m_folder).entryList(filters, kinds, QDir::Name | QDir::IgnoreCase));
    }
    m_filling = false;
}

}  // namespace quarnel
