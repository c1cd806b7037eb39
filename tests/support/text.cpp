#include "text.h"

namespace quarnel_test {

std::vector<std::string> split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    std::size_t at = 0;
    for (std::size_t next; (next = text.find(separator, at)) != std::string::npos;
         at = next + separator.size()) {
        parts.push_back(text.substr(at, next - at));
    }
    parts.push_back(text.substr(at));
    return parts;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines = split(text, "\n");
    if (lines.back().empty()) lines.pop_back();
    return lines;
}

std::vector<std::string> cells_of(const std::string& row) {
    std::vector<std::string> cells(1);
    bool quoted = false;
    for (std::size_t at = 0; at < row.size(); ++at) {
        const char ch = row[at];
        if (quoted && ch == '"' && at + 1 < row.size() && row[at + 1] == '"') {
            cells.back() += '"';
            ++at;
        } else if (ch == '"') {
            quoted = !quoted;
        } else if (ch == ',' && !quoted) {
            cells.emplace_back();
        } else {
            cells.back() += ch;
        }
    }
    return cells;
}

std::vector<std::vector<std::string>> csv_rows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    for (const std::string& line : lines_of(text)) rows.push_back(cells_of(line));
    return rows;
}

std::size_t count_of(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

}  // namespace quarnel_test
