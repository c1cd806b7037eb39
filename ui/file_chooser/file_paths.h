#pragma once

#include <QString>
#include <optional>

namespace quarnel {

// The platform's path separator: "\" on Windows, "/" elsewhere.
QChar path_separator();

// How file names compare: without case on Windows, exactly elsewhere.
Qt::CaseSensitivity file_name_case();

// `folder` followed by `name` with exactly one path separator between them:
// none is added when the folder already ends in one, as a root folder does.
QString join_path(const QString& folder, const QString& name);

// `path` with the platform's separators, as the user sees it.
QString native_path(const QString& path);

// Why `folder` cannot be listed, in the platform's own words; nothing when it
// can be.
std::optional<QString> folder_open_error(const QString& folder);

// A message for a folder that cannot be listed: the folder and the reason.
QString folder_open_message(const QString& folder, const QString& reason);

enum class NameLookup { existing, missing, invalid };

struct NameLookupResult {
    NameLookup kind = NameLookup::missing;
    QString error;  // the platform's description of the failure, for `invalid`
};

// Looks up the file `name` relative to `folder` (or as it stands when absolute).
// `missing` means the name is free and its folder exists; a look-up that fails
// for any other reason (bad name, missing or unreadable folder) is `invalid`.
NameLookupResult look_up_name(const QString& folder, const QString& name);

}  // namespace quarnel
