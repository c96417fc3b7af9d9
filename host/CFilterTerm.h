// Wildcard filter over fnmatch: '*', '?' and '[...]' are wildcards; case state 1 ignores case.
#pragma once

#include <string>

#include "HostApi.h"

class HOST_API BFilterTermOptions {
public:
    enum FILTER_CASE_STATE { FILTER_CASE_SENSITIVE = 0, FILTER_CASE_INSENSITIVE = 1 };

    BFilterTermOptions() = default;
    explicit BFilterTermOptions(FILTER_CASE_STATE caseState) : m_caseState(caseState) {}
    FILTER_CASE_STATE GetCaseState() const { return m_caseState; }
    void SetCaseState(FILTER_CASE_STATE caseState) { m_caseState = caseState; }

private:
    FILTER_CASE_STATE m_caseState = FILTER_CASE_SENSITIVE;
};

class HOST_API CFilterTerm {
public:
    explicit CFilterTerm(const BFilterTermOptions& options);

    // True when the text holds a wildcard: '*', '?', or a '[' closed by a later ']'.
    static bool IsWildcardItem(const std::string& text);

    // Loads one pattern (replacing any earlier one); false for an empty pattern.
    bool LoadRaw(const std::string& pattern);
    // True when the whole text matches the loaded pattern; false when none is loaded.
    bool Matches(const std::string& text) const;

private:
    BFilterTermOptions m_options;
    std::string m_pattern;
    bool m_loaded = false;
};
