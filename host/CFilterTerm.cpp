#include "CFilterTerm.h"

#include <fnmatch.h>

CFilterTerm::CFilterTerm(const BFilterTermOptions& options) : m_options(options) {}

bool CFilterTerm::IsWildcardItem(const std::string& text) {
    size_t special = text.find_first_of("*?[");
    while (special != std::string::npos) {
        if (text[special] != '[' || text.find(']', special + 1) != std::string::npos) return true;
        special = text.find_first_of("*?[", special + 1);
    }
    return false;
}

bool CFilterTerm::LoadRaw(const std::string& pattern) {
    // fnmatch sees C strings: a NUL inside would silently cut the pattern short.
    if (pattern.empty() || pattern.find('\0') != std::string::npos) {
        m_pattern.clear();
        m_loaded = false;
        return false;
    }
    m_pattern = pattern;
    m_loaded = true;
    return true;
}

bool CFilterTerm::Matches(const std::string& text) const {
    if (!m_loaded || text.find('\0') != std::string::npos) return false;
    // No FNM_PATHNAME or FNM_PERIOD: names are flat, so '*' crosses '/' and matches a leading dot.
    int flags = m_options.GetCaseState() == BFilterTermOptions::FILTER_CASE_INSENSITIVE ? FNM_CASEFOLD : 0;
    return fnmatch(m_pattern.c_str(), text.c_str(), flags) == 0;
}
