// A text with a tokenizer that splits at one separator character.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "HostApi.h"

class HOST_API CXwString {
public:
    explicit CXwString(std::string text) : m_text(std::move(text)) {}

    // Appends the tokens of the text from startPos on, split at the separator. maxTokens 0 means no
    // limit, otherwise the last token holds the rest; trim strips blanks around each token; empty
    // tokens are dropped unless keepEmpty. Returns the number of tokens appended.
    size_t Tokenize(std::vector<std::string>& tokens, size_t startPos, size_t maxTokens, bool trim,
                    char separator, bool keepEmpty) const;

    const std::string& str() const { return m_text; }

private:
    std::string m_text;
};
