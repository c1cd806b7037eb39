#include "run_table.h"

#include <stdexcept>

#include "engine/calculation_inputs.h"
#include "engine/text_to_number.h"

namespace quarnel {

namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The cells of one line; throws a bare rule for an unclosed quote or text
// after a closing one.
std::vector<std::string> cells_of(const std::string& line) {
    std::vector<std::string> cells;
    std::size_t at = 0;
    for (;;) {
        std::string cell;
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
        if (at < line.size() && line[at] == '"') {
            for (++at;; ++at) {
                if (at >= line.size()) throw std::invalid_argument("a quoted cell is not closed");
                if (line[at] == '"') {
                    if (at + 1 < line.size() && line[at + 1] == '"') {
                        cell += '"';
                        ++at;
                        continue;
                    }
                    ++at;
                    break;
                }
                cell += line[at];
            }
            while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
            if (at < line.size() && line[at] != ',') {
                throw std::invalid_argument("text follows a quoted cell");
            }
            cells.push_back(cell);
        } else {
            const std::size_t comma = line.find(',', at);
            cells.push_back(
                trimmed(line.substr(at, comma == std::string::npos ? comma : comma - at)));
            at = comma == std::string::npos ? line.size() : comma;
        }
        if (at >= line.size()) return cells;
        ++at;  // the comma
    }
}

}  // namespace

RunTable read_run_table(const std::string& text, const std::string& file, std::size_t fibers) {
    RunTable table;
    std::vector<std::vector<std::string>> columns;
    std::size_t line_number = 0;
    bool header = true;
    const auto place = [&](std::size_t column) {
        std::string where = file + " line " + std::to_string(line_number);
        if (column == 0) return where;
        where += ", column " + std::to_string(column);
        if (!header) where += " (" + table.axes[column - 1].name + ")";
        return where;
    };
    std::size_t from = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (from < text.size()) {
        std::size_t end = text.find('\n', from);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(from, end - from);
        from = end + 1;
        ++line_number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (trimmed(line).empty()) continue;
        std::vector<std::string> cells;
        try {
            cells = cells_of(line);
        } catch (const std::invalid_argument& e) {
            throw std::invalid_argument(place(0) + ": " + e.what());
        }
        if (header) {
            for (std::size_t c = 0; c < cells.size(); ++c) {
                const auto refuse = [&](const std::string& rule) {
                    throw std::invalid_argument(place(c + 1) + ": " + rule);
                };
                if (cells[c].empty()) refuse("the header names no input");
                SweepTarget target;
                try {
                    target = sweep_target(cells[c], fibers);
                } catch (const std::invalid_argument& e) {
                    refuse(e.what());
                }
                for (std::size_t b = 0; b < c; ++b) {
                    if (table.targets[b].fiber == target.fiber &&
                        table.targets[b].member == target.member) {
                        refuse(cells[c] + ": the input is named twice, also in column " +
                               std::to_string(b + 1));
                    }
                }
                table.axes.push_back({cells[c], std::vector<std::string>{}});
                table.targets.push_back(target);
            }
            columns.resize(cells.size());
            header = false;
            continue;
        }
        if (cells.size() != columns.size()) {
            throw std::invalid_argument(place(0) + ": " + std::to_string(cells.size()) +
                                        (cells.size() == 1 ? " cell" : " cells") +
                                        ", but the header names " + std::to_string(columns.size()) +
                                        " inputs");
        }
        for (std::size_t c = 0; c < cells.size(); ++c) {
            std::string& cell = cells[c];
            const auto refuse = [&](const std::string& rule) {
                throw std::invalid_argument(place(c + 1) + ": " + rule);
            };
            if (cell.empty()) refuse("the cell is empty");
            const std::string& member = table.targets[c].member;
            if (member == "model") {
                if (cell == "constant") cell = "1";
                if (cell == "function-lb") cell = "2";
                if (cell != "1" && cell != "2") {
                    refuse("\"" + cell + "\" is not 1, 2, constant or function-lb");
                }
            } else if (member == "orientation_weights") {
                try {
                    read_orientation_weights(cell);
                } catch (const std::invalid_argument&) {
                    refuse("\"" + cell + "\" is not classic or exact");
                }
            } else if (const NumberReading reading = read_number_text(cell);
                       !reading.ignored.empty()) {
                table.notes.push_back(place(c + 1) + ": \"" + cell + "\" read as " +
                                      shortest_number_text(reading.value));
            }
            columns[c].push_back(std::move(cell));
        }
    }
    if (header) throw std::invalid_argument(file + " is empty: it needs a header of input names");
    if (columns.empty() || columns[0].empty()) {
        throw std::invalid_argument(file + " holds no runs: only a header");
    }
    for (std::size_t c = 0; c < columns.size(); ++c) table.axes[c].values = std::move(columns[c]);
    return table;
}

}  // namespace quarnel
