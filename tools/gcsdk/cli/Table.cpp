#include "cli/Table.h"

#include <algorithm>

namespace gcsdk {

namespace {

// Length of the valid UTF-8 sequence starting at text[i]; 0 when it is not one.
size_t Utf8SequenceLength(const std::string& text, size_t i, unsigned& codePoint) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char lead = byte(i);
    size_t length;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        codePoint = (codePoint << 6) | (byte(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    static const unsigned kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < kSmallest[length] || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

bool IsControl(unsigned codePoint) {
    return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F);
}

}  // namespace

std::string TerminalSafe(const std::string& text) {
    std::string safe;
    safe.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        unsigned codePoint = 0;
        size_t length = Utf8SequenceLength(text, i, codePoint);
        if (length == 0 || IsControl(codePoint)) {
            safe += '?';
            i += length == 0 ? 1 : length;
        } else {
            safe.append(text, i, length);
            i += length;
        }
    }
    return safe;
}

std::string TerminalSafeText(const std::string& text) {
    std::string safe;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find_first_of("\n\t", start);
        safe += TerminalSafe(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return safe;
        safe += text[end];
        start = end + 1;
    }
}

size_t DisplayWidth(const std::string& text) {
    // Counts lead bytes; TerminalSafe text is valid UTF-8.
    return static_cast<size_t>(std::count_if(
        text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

Table::Table(std::vector<std::string> headers) : m_headers(std::move(headers)) {}

void Table::AddRow(std::vector<std::string> cells) {
    m_rows.push_back(std::move(cells));
}

std::string Table::Render() const {
    std::vector<std::vector<std::string>> lines;
    if (!m_headers.empty()) lines.push_back(m_headers);
    for (const auto& row : m_rows) {
        std::vector<std::string> cells;
        cells.reserve(row.size());
        for (const std::string& cell : row) cells.push_back(cell.empty() ? "-" : TerminalSafe(cell));
        lines.push_back(std::move(cells));
    }

    size_t columns = 0;
    for (const auto& line : lines) columns = std::max(columns, line.size());
    std::vector<size_t> widths(columns, 0);
    for (auto& line : lines) {
        line.resize(columns, "-");
        for (size_t c = 0; c < columns; ++c) widths[c] = std::max(widths[c], DisplayWidth(line[c]));
    }

    std::string out;
    for (const auto& line : lines) {
        std::string text;
        for (size_t c = 0; c < columns; ++c) {
            if (c > 0) text += "  ";
            text += line[c];
            if (c + 1 < columns) text.append(widths[c] - DisplayWidth(line[c]), ' ');
        }
        text.erase(text.find_last_not_of(' ') + 1);
        out += text;
        out += '\n';
    }
    return out;
}

std::string Join(const std::vector<std::string>& items, const std::string& separator) {
    std::string joined;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) joined += separator;
        joined += items[i];
    }
    return joined;
}

}  // namespace gcsdk
