// Human-readable output: aligned columns, and the sanitising of text that came from the network.
#pragma once

#include <string>
#include <vector>

namespace gcsdk {

// Text made safe for a terminal: control characters (C0, DEL, C1) and invalid UTF-8 become '?', so
// a resource name cannot break a table or send escape sequences.
std::string TerminalSafe(const std::string& text);
// The same for a whole document printed to a terminal (JSON a server sent): newlines and tabs stay.
std::string TerminalSafeText(const std::string& text);
// Columns a text takes: one per UTF-8 code point.
size_t DisplayWidth(const std::string& text);

class Table {
public:
    // No headers: a table without a header row (key/value listings).
    explicit Table(std::vector<std::string> headers = {});

    // Missing cells are empty; an empty cell shows as "-" so that every column stays a word.
    void AddRow(std::vector<std::string> cells);
    size_t RowCount() const { return m_rows.size(); }

    // Columns two spaces apart, left-aligned, no trailing blanks; one line per row.
    std::string Render() const;

private:
    std::vector<std::string> m_headers;
    std::vector<std::vector<std::string>> m_rows;
};

// "a, b" with a separator; for label lists and the like.
std::string Join(const std::vector<std::string>& items, const std::string& separator);

}  // namespace gcsdk
