#include "output_places.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include "run/file_paths.h"

namespace quarnel {

namespace fs = std::filesystem;

bool same_file(const std::string& a_name, const std::string& b_name) {
    const fs::path a = path_of(a_name);
    const fs::path b = path_of(b_name);
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec)) {
        return fs::equivalent(a, b, ec) && !fs::is_character_file(a, ec);
    }
    const auto normal = [](const fs::path& p) {
        std::error_code e;
        const fs::path absolute = fs::absolute(p, e);
        const fs::path resolved = fs::weakly_canonical(absolute, e);
        return (e ? absolute : resolved).lexically_normal();
    };
    return normal(a) == normal(b);
}

#ifdef _WIN32

namespace {

// The volume and the file index, which name one file on Windows.
bool file_identity(HANDLE handle, BY_HANDLE_FILE_INFORMATION& info) {
    return handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_DISK &&
           GetFileInformationByHandle(handle, &info) != 0;
}

}  // namespace

bool is_standard_output(const std::string& path) {
    BY_HANDLE_FILE_INFORMATION out{};
    if (!file_identity(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout))), out)) {
        return false;
    }
    const HANDLE file = CreateFileW(path_of(path).c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool same =
        file_identity(file, info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        info.dwVolumeSerialNumber == out.dwVolumeSerialNumber &&
        info.nFileIndexHigh == out.nFileIndexHigh && info.nFileIndexLow == out.nFileIndexLow;
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return same;
}

#else

bool is_standard_output(const std::string& path) {
    struct stat out {};
    struct stat file {};
    return fstat(fileno(stdout), &out) == 0 && S_ISREG(out.st_mode) &&
           stat(path.c_str(), &file) == 0 && out.st_dev == file.st_dev && out.st_ino == file.st_ino;
}

#endif

namespace {

// Whether `file` is one that the folder place writes.
bool written_in(const Place& folder, const std::string& file) {
    if (!folder.holds) return false;
    const fs::path p = path_of(file);
    std::string parent = text_of(p.parent_path());
    if (parent.empty()) parent = ".";
    return folder.holds(text_of(p.filename())) && same_file(parent, folder.path);
}

std::string clash(const Place& a, const Place& b, const std::string& path) {
    return a.what + " and " + b.what + " name the same file \"" + path + "\"";
}

}  // namespace

std::optional<std::string> output_place_fault(const std::vector<Place>& outputs,
                                              const std::vector<Place>& inputs) {
    for (std::size_t a = 0; a < outputs.size(); ++a) {
        const Place& out = outputs[a];
        if (out.path.empty()) continue;
        const auto meets = [&](const Place& other) -> std::optional<std::string> {
            if (other.path.empty()) return std::nullopt;
            if (!out.holds && !other.holds && same_file(out.path, other.path)) {
                return clash(out, other, other.path);
            }
            if (written_in(out, other.path)) return clash(out, other, other.path);
            if (written_in(other, out.path)) return clash(out, other, out.path);
            return std::nullopt;
        };
        for (std::size_t b = a + 1; b < outputs.size(); ++b) {
            if (auto fault = meets(outputs[b])) return fault;
        }
        for (const Place& in : inputs) {
            if (in.path.empty()) continue;
            if (!out.holds && same_file(out.path, in.path)) {
                return out.what + " names " + in.what + " \"" + in.path + "\"";
            }
            if (written_in(out, in.path)) {
                return out.what + " writes " + in.what + " \"" + in.path + "\"";
            }
        }
        if (!out.holds && is_standard_output(out.path)) {
            return "standard output is the file \"" + out.path + "\", which is also an output";
        }
    }
    for (const Place& in : inputs) {
        if (!in.path.empty() && is_standard_output(in.path)) {
            return "standard output is the file \"" + in.path + "\", which is also an input";
        }
    }
    return std::nullopt;
}

std::optional<std::string> make_output_folder(const std::string& path) {
    const fs::path folder = path_of(path);
    std::error_code ec;
    if (fs::is_directory(folder, ec)) return std::nullopt;
    if (fs::exists(folder, ec)) {
        return "cannot create the folder " + path + ": a file of that name is in the way";
    }
    fs::create_directories(folder, ec);
    if (ec) return "cannot create the folder " + path + ": " + ec.message();
    if (!fs::is_directory(folder, ec)) return "cannot create the folder " + path;
    return std::nullopt;
}

}  // namespace quarnel
