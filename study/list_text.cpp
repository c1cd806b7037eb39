#include "list_text.h"

namespace quarnel {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = text.find(separator, from);
        parts.push_back(trimmed(text.substr(from, at == std::string::npos ? at : at - from)));
        if (at == std::string::npos) return parts;
        from = at + 1;
    }
}

}  // namespace quarnel
