#include "cli/Arguments.h"

namespace gcsdk {

std::string ParsedArguments::Value(const std::string& name, const std::string& fallback) const {
    auto found = m_values.find(name);
    return found == m_values.end() ? fallback : found->second;
}

std::vector<std::string> ParsedArguments::Values(const std::string& name) const {
    auto found = m_all.find(name);
    return found == m_all.end() ? std::vector<std::string>() : found->second;
}

namespace {

const Option* FindLong(const std::vector<Option>& options, const std::string& name) {
    for (const Option& option : options)
        if (option.name == name) return &option;
    return nullptr;
}

const Option* FindShort(const std::vector<Option>& options, char name) {
    for (const Option& option : options)
        if (option.shortName != 0 && option.shortName == name) return &option;
    return nullptr;
}

ParseOutcome Failed(std::string error, size_t at) {
    ParseOutcome outcome;
    outcome.ok = false;
    outcome.error = std::move(error);
    outcome.next = at;
    return outcome;
}

}  // namespace

ParseOutcome ParseArguments(const std::vector<std::string>& args, size_t begin,
                            const std::vector<Option>& options, ParsedArguments& parsed,
                            bool stopAtPositional) {
    size_t i = begin;
    while (i < args.size()) {
        const std::string& word = args[i];
        if (word == "--") {
            if (stopAtPositional) return Failed("\"--\" before the command", i);
            for (++i; i < args.size(); ++i) parsed.AddPositional(args[i]);
            break;
        }
        if (word.size() < 2 || word[0] != '-') {  // "-" alone is a positional argument, as for stdin
            if (stopAtPositional) {
                ParseOutcome outcome;
                outcome.next = i;
                return outcome;
            }
            parsed.AddPositional(word);
            ++i;
            continue;
        }

        const Option* option = nullptr;
        std::string shown = word;
        bool hasInlineValue = false;
        std::string inlineValue;
        if (word[1] != '-') {
            if (word.size() == 2) option = FindShort(options, word[1]);
        } else {
            std::string name = word.substr(2);
            size_t equals = name.find('=');
            if (equals != std::string::npos) {
                hasInlineValue = true;
                inlineValue = name.substr(equals + 1);
                name.resize(equals);
                shown = "--" + name;
            }
            option = FindLong(options, name);
        }
        if (!option) return Failed("unknown option " + shown, i);

        if (!option->TakesValue()) {
            if (hasInlineValue) return Failed("option --" + option->name + " takes no value", i);
            parsed.Set(option->name, "");
            ++i;
            continue;
        }
        std::string value;
        if (hasInlineValue) {
            value = inlineValue;
            ++i;
        } else {
            if (i + 1 >= args.size() || args[i + 1].rfind("--", 0) == 0)
                return Failed("option --" + option->name + " needs a value (" + option->valueName + ")", i);
            value = args[i + 1];
            i += 2;
        }
        if (value.empty())
            return Failed("option --" + option->name + " needs a value (" + option->valueName + ")", i);
        if (!option->repeatable && parsed.Has(option->name))
            return Failed("option --" + option->name + " is given twice; it takes one value", i);
        parsed.Set(option->name, value);
    }
    ParseOutcome outcome;
    outcome.next = i;
    return outcome;
}

}  // namespace gcsdk
