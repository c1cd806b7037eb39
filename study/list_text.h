#pragma once

#include <string>
#include <vector>

namespace quarnel {

// A text without its leading and trailing blanks and tabs.
std::string trimmed(const std::string& text);
// The parts of a text between separators, each trimmed; an empty text is one
// empty part.
std::vector<std::string> split(const std::string& text, char separator);

}  // namespace quarnel
