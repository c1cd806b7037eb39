#include "drive_list.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStorageInfo>
#include <algorithm>
#include <utility>

namespace quarnel {

namespace {

constexpr Qt::CaseSensitivity path_case =
#ifdef Q_OS_WIN
    Qt::CaseInsensitive;
#else
    Qt::CaseSensitive;
#endif

std::optional<QStringList>& roots_override() {
    static std::optional<QStringList> roots;
    return roots;
}

// Last folder used on each drive, keyed by the drive's root.
QHash<QString, QString>& drive_folders() {
    static QHash<QString, QString> folders;
    return folders;
}

QString clean(const QString& path) {
    return QDir::cleanPath(QDir::fromNativeSeparators(path));
}

bool holds(const QString& root, const QString& path) {
    if (root.endsWith(u'/')) {
        return path.startsWith(root, path_case) || root.compare(path + u'/', path_case) == 0;
    }
    return path.compare(root, path_case) == 0 || path.startsWith(root + u'/', path_case);
}

#ifndef Q_OS_WIN

// Kernel and runtime file systems that hold no user files.
bool is_pseudo_file_system(const QByteArray& type) {
    static const QSet<QByteArray> pseudo = {
        "autofs",    "binfmt_misc", "bpf",        "cgroup",         "cgroup2",     "configfs",
        "debugfs",   "devpts",      "devtmpfs",   "efivarfs",       "fuse.portal", "fusectl",
        "hugetlbfs", "mqueue",      "nsfs",       "overlay",        "proc",        "pstore",
        "ramfs",     "rpc_pipefs",  "securityfs", "selinuxfs",      "squashfs",    "sysfs",
        "tmpfs",     "tracefs",     "nfsd",       "fuse.gvfsd-fuse"};
    return pseudo.contains(type);
}

// Mounts under the system's own trees, except removable media mounted below /run.
bool is_system_mount(const QString& root) {
    static const QStringList system_trees = {QStringLiteral("/proc"), QStringLiteral("/sys"),
                                             QStringLiteral("/dev"), QStringLiteral("/run"),
                                             QStringLiteral("/snap")};
    if (holds(QStringLiteral("/run/media"), root)) return false;
    return std::any_of(system_trees.begin(), system_trees.end(),
                       [&](const QString& tree) { return holds(tree, root); });
}

#endif

}  // namespace

QStringList mounted_drive_roots() {
    QStringList roots;
#ifdef Q_OS_WIN
    for (const QFileInfo& drive : QDir::drives()) roots << drive.absolutePath();
#else
    roots << QStringLiteral("/");
    QStringList others;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        if (!volume.isValid() || root.isEmpty() || root == QStringLiteral("/")) continue;
        if (is_pseudo_file_system(volume.fileSystemType()) || is_system_mount(root)) continue;
        // Containers bind single files such as /etc/hosts; only folders are drives.
        if (!QFileInfo(root).isDir() || others.contains(root)) continue;
        others << root;
    }
    others.sort(path_case);
    roots << others;
#endif
    return roots;
}

DriveList::DriveList(QWidget* parent) : QComboBox(parent) {
    const QStringList roots = roots_override() ? *roots_override() : mounted_drive_roots();
    for (const QString& root : roots) add_drive(clean(root));
    // No drive is selected until set_drive, so the first one always reports a change.
    setCurrentIndex(-1);
    connect(this, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_silent) emit drive_changed();
    });
}

QString DriveList::drive() const {
    return currentData().toString();
}

void DriveList::set_drive(const QString& path) {
    const QString folder = clean(path);
    QString root = drive_of(folder);
    if (root.isEmpty()) root = clean(QStorageInfo(folder).rootPath());
    if (root.isEmpty()) return;
    int index = index_of_root(root);
    if (index < 0) index = add_drive(root);
    if (QFileInfo(folder).isDir()) drive_folders().insert(root, folder);
    setCurrentIndex(index);
}

void DriveList::select_silently(const QString& root) {
    m_silent = true;
    setCurrentIndex(index_of_root(root));
    m_silent = false;
}

QString DriveList::current_folder() const {
    const QString root = drive();
    const QString folder = drive_folders().value(root);
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) return folder;
    return root;
}

void DriveList::remember_folder(const QString& folder) {
    const QString path = clean(folder);
    const QString root = drive_of(path);
    if (!root.isEmpty()) drive_folders().insert(root, path);
}

QString DriveList::drive_of(const QString& path) const {
    const QString target = clean(path);
    QString best;
    for (int i = 0; i < count(); ++i) {
        const QString root = itemData(i).toString();
        if (root.size() > best.size() && holds(root, target)) best = root;
    }
    return best;
}

void DriveList::set_roots_override(std::optional<QStringList> roots) {
    roots_override() = std::move(roots);
}

void DriveList::forget_folders() {
    drive_folders().clear();
}

int DriveList::index_of_root(const QString& root) const {
    for (int i = 0; i < count(); ++i) {
        if (itemData(i).toString().compare(root, path_case) == 0) return i;
    }
    return -1;
}

int DriveList::add_drive(const QString& root) {
#ifdef Q_OS_WIN
    // Drive letters are shown the classic way: "c:".
    const bool letter = root.size() == 3 && root.endsWith(QStringLiteral(":/"));
    const QString shown = letter ? root.left(2).toLower() : QDir::toNativeSeparators(root);
#else
    const QString shown = QDir::toNativeSeparators(root);
#endif
    addItem(shown, root);
    return count() - 1;
}

}  // namespace quarnel
