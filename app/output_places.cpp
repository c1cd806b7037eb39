#include "output_places.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include <sys/stat.h>

namespace quarnel {

namespace fs = std::filesystem;

bool same_file(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec)) {
        return fs::equivalent(a, b, ec) && !fs::is_character_file(a, ec);
    }
    const auto normal = [](const std::string& p) {
        std::error_code e;
        const fs::path absolute = fs::absolute(p, e);
        const fs::path resolved = fs::weakly_canonical(absolute, e);
        return (e ? absolute : resolved).lexically_normal();
    };
    return normal(a) == normal(b);
}

bool is_standard_output(const std::string& path) {
    struct stat out {};
    struct stat file {};
    return fstat(fileno(stdout), &out) == 0 && S_ISREG(out.st_mode) &&
           stat(path.c_str(), &file) == 0 && out.st_dev == file.st_dev && out.st_ino == file.st_ino;
}

namespace {

// Whether `file` is one that the folder place writes.
bool written_in(const Place& folder, const std::string& file) {
    if (!folder.holds) return false;
    const fs::path p(file);
    std::string parent = p.parent_path().string();
    if (parent.empty()) parent = ".";
    return folder.holds(p.filename().string()) && same_file(parent, folder.path);
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
    std::error_code ec;
    if (fs::is_directory(path, ec)) return std::nullopt;
    if (fs::exists(path, ec)) {
        return "cannot create the folder " + path + ": a file of that name is in the way";
    }
    fs::create_directories(path, ec);
    if (ec) return "cannot create the folder " + path + ": " + ec.message();
    if (!fs::is_directory(path, ec)) return "cannot create the folder " + path;
    return std::nullopt;
}

}  // namespace quarnel
