#include "file_paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <dirent.h>
#include <sys/stat.h>
#endif

namespace quarnel {

namespace {

// A NUL cannot pass through any file system call; the text would be cut there
// and name a different file.
bool has_nul(const QString& text) {
    return text.contains(QChar(u'\0'));
}

QString absolute_in(const QString& folder, const QString& name) {
    return QDir(folder).absoluteFilePath(QDir::fromNativeSeparators(name));
}

#ifdef Q_OS_WIN

std::optional<QString> platform_folder_open_error(const QString& folder) {
    const QString pattern = join_path(native_path(folder), QStringLiteral("*"));
    WIN32_FIND_DATAW data;
    const HANDLE found = FindFirstFileW(reinterpret_cast<LPCWSTR>(pattern.utf16()), &data);
    if (found == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // An empty root folder has no entries at all, not even "." and "..".
        if (error == ERROR_FILE_NOT_FOUND) return std::nullopt;
        return qt_error_string(static_cast<int>(error));
    }
    FindClose(found);
    return std::nullopt;
}

NameLookupResult platform_look_up(const QString& path, bool) {
    const QString native = native_path(path);
    const DWORD attributes = GetFileAttributesW(reinterpret_cast<LPCWSTR>(native.utf16()));
    if (attributes != INVALID_FILE_ATTRIBUTES) return {NameLookup::existing, {}};
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return {NameLookup::missing, {}};
    return {NameLookup::invalid, qt_error_string(static_cast<int>(error))};
}

#else

std::optional<QString> platform_folder_open_error(const QString& folder) {
    const QByteArray encoded = QFile::encodeName(folder);
    DIR* const dir = ::opendir(encoded.constData());
    if (dir == nullptr) {
        const int error = errno;
        return qt_error_string(error);
    }
    ::closedir(dir);
    return std::nullopt;
}

NameLookupResult platform_look_up(const QString& path, bool names_folder) {
    struct stat info {};
    // lstat: a dangling link is an existing name too, and must not be written through.
    if (::lstat(QFile::encodeName(path).constData(), &info) == 0) {
        return {NameLookup::existing, {}};
    }
    const int error = errno;
    if (error != ENOENT) return {NameLookup::invalid, qt_error_string(error)};
    // A name ending in a separator names a folder, and that folder is missing.
    if (names_folder) return {NameLookup::invalid, qt_error_string(ENOENT)};
    // The name is free; its folder must exist, or the run could not create it.
    const QString parent = QFileInfo(path).path();
    if (::stat(QFile::encodeName(parent).constData(), &info) != 0) {
        const int parent_error = errno;
        return {NameLookup::invalid, qt_error_string(parent_error)};
    }
    if (!S_ISDIR(info.st_mode)) return {NameLookup::invalid, qt_error_string(ENOTDIR)};
    return {NameLookup::missing, {}};
}

#endif

}  // namespace

QChar path_separator() {
#ifdef Q_OS_WIN
    return u'\\';
#else
    return u'/';
#endif
}

Qt::CaseSensitivity file_name_case() {
#ifdef Q_OS_WIN
    return Qt::CaseInsensitive;
#else
    return Qt::CaseSensitive;
#endif
}

QString join_path(const QString& folder, const QString& name) {
    if (folder.endsWith(path_separator())) return folder + name;
    return folder + path_separator() + name;
}

QString native_path(const QString& path) {
    return QDir::toNativeSeparators(path);
}

std::optional<QString> folder_open_error(const QString& folder) {
    if (has_nul(folder)) return qt_error_string(EINVAL);
    return platform_folder_open_error(folder);
}

QString folder_open_message(const QString& folder, const QString& reason) {
    return QStringLiteral("%1\n\n%2").arg(native_path(folder), reason);
}

NameLookupResult look_up_name(const QString& folder, const QString& name) {
    if (has_nul(name)) return {NameLookup::invalid, qt_error_string(EINVAL)};
    const bool names_folder = name.endsWith(u'/') || name.endsWith(path_separator());
    return platform_look_up(absolute_in(folder, name), names_folder);
}

}  // namespace quarnel
