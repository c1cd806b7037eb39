#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

namespace quarnel {

// File names travel through the program as UTF-8 text, as the command line
// gives them and messages show them. The system takes them as paths: on
// Windows through its wide-character API, so that any name can be opened;
// elsewhere byte for byte.
std::filesystem::path path_of(const std::string& name);
// A path as UTF-8 text.
std::string text_of(const std::filesystem::path& path);

// std::fopen for a UTF-8 name.
std::FILE* open_file(const std::string& name, const char* mode);

}  // namespace quarnel
