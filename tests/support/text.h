#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace quarnel_test {

// The parts of `text` between the separators: n separators give n + 1
// parts, so a text ending in one gives an empty last part.
std::vector<std::string> split(const std::string& text, const std::string& separator);

// The lines of a text without their "\n"; a final "\n" starts no line.
std::vector<std::string> lines_of(const std::string& text);

// The cells of a CSV row, quoted cells unquoted ("" within quotes is one ").
std::vector<std::string> cells_of(const std::string& row);

// A CSV's rows, the heading first, each as its cells.
std::vector<std::vector<std::string>> csv_rows(const std::string& text);

// How often `part` occurs in `text`, overlaps counted.
std::size_t count_of(const std::string& text, const std::string& part);

}  // namespace quarnel_test
