#include "CXwString.h"

namespace {

constexpr const char* kBlanks = " \t\r\n\v\f";

std::string Trimmed(const std::string& text, size_t start, size_t end) {
    size_t first = text.find_first_not_of(kBlanks, start);
    if (first == std::string::npos || first >= end) return "";
    size_t last = text.find_last_not_of(kBlanks, end - 1);
    return text.substr(first, last + 1 - first);
}

}  // namespace

size_t CXwString::Tokenize(std::vector<std::string>& tokens, size_t startPos, size_t maxTokens, bool trim,
                           char separator, bool keepEmpty) const {
    if (startPos > m_text.size()) return 0;
    size_t count = 0;
    size_t start = startPos;
    while (true) {
        size_t end = m_text.find(separator, start);
        bool last = end == std::string::npos;
        std::string token;
        if (maxTokens != 0 && count + 1 == maxTokens) {
            // The rest is the last token, but empty fields in front of it would only be dropped.
            if (!keepEmpty) {
                while (!last &&
                       (trim ? Trimmed(m_text, start, end) : m_text.substr(start, end - start)).empty()) {
                    start = end + 1;
                    end = m_text.find(separator, start);
                    last = end == std::string::npos;
                }
            }
            last = true;
        }
        size_t stop = last ? m_text.size() : end;
        token = trim ? Trimmed(m_text, start, stop) : m_text.substr(start, stop - start);
        if (keepEmpty || !token.empty()) {
            tokens.push_back(std::move(token));
            ++count;
        }
        if (last) return count;
        start = end + 1;
    }
}
