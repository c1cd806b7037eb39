#include "file_paths.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace quarnel {

#ifdef _WIN32

namespace {

// Invalid UTF-8 becomes U+FFFD rather than failing the conversion, as text
// from a file may hold anything.
std::wstring wide_of(const std::string& text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
    return wide;
}

}  // namespace

std::filesystem::path path_of(const std::string& name) {
    return std::filesystem::path(wide_of(name));
}

std::string text_of(const std::filesystem::path& path) {
    const std::wstring& wide = path.native();
    if (wide.empty()) return {};
    const int size = static_cast<int>(wide.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, text.data(), length, nullptr, nullptr);
    return text;
}

std::FILE* open_file(const std::string& name, const char* mode) {
    return _wfopen(path_of(name).c_str(), wide_of(mode).c_str());
}

#else

std::filesystem::path path_of(const std::string& name) {
    return std::filesystem::path(name);
}

std::string text_of(const std::filesystem::path& path) {
    return path.string();
}

std::FILE* open_file(const std::string& name, const char* mode) {
    return std::fopen(name.c_str(), mode);
}

#endif

}  // namespace quarnel
