#include "cli/DatabaseNames.h"

#include <algorithm>
#include <vector>

#include "cli/ResourceNames.h"

namespace gcsdk {

const char kSpannerInstanceRule[] =
    "2 to 64 lowercase letters, digits and '-', starting with a letter and ending with a letter or digit";
const char kSpannerDatabaseRule[] =
    "2 to 30 lowercase letters, digits, '_' and '-', starting with a letter and ending with a letter or "
    "digit";
const char kBucketNameRule[] =
    "3 to 63 lowercase letters, digits, '-', '_' and '.', starting and ending with a letter or digit";

namespace {

bool IsLower(char c) {
    return c >= 'a' && c <= 'z';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Starts with a letter, ends with a letter or digit, holds only letters, digits and the extra characters.
bool IsId(const std::string& id, size_t shortest, size_t longest, const std::string& extra) {
    if (id.size() < shortest || id.size() > longest || !IsLower(id.front())) return false;
    for (char c : id)
        if (!IsLower(c) && !IsDigit(c) && extra.find(c) == std::string::npos) return false;
    return IsLower(id.back()) || IsDigit(id.back());
}

}  // namespace

bool IsSpannerInstanceId(const std::string& id) {
    return IsId(id, 2, 64, "-");
}

bool IsSpannerDatabaseId(const std::string& id) {
    return IsId(id, 2, 30, "_-");
}

bool IsSpannerConfigId(const std::string& id) {
    return IsId(id, 1, 64, "-");
}

bool IsRegion(const std::string& region) {
    return region != "global" && IsId(region, 2, 63, "-");
}

bool IsBucketName(const std::string& name) {
    const bool dotted = name.find('.') != std::string::npos;
    if (name.size() < 3 || name.size() > (dotted ? 222u : 63u)) return false;
    for (const std::string& part : SplitList(name, '.')) {
        if (part.size() > 63) return false;
        for (char c : part)
            if (!IsLower(c) && !IsDigit(c) && c != '-' && c != '_') return false;
    }
    const auto edge = [](char c) { return IsLower(c) || IsDigit(c); };
    return edge(name.front()) && edge(name.back()) && name.find("..") == std::string::npos;
}

bool ReadFolder(const std::string& text, std::string& folder, std::string& error) {
    size_t begin = text.find_first_not_of('/'), end = text.find_last_not_of('/');
    folder = begin == std::string::npos ? "" : text.substr(begin, end - begin + 1);
    if (folder.empty()) {
        error = "names no folder";
        return false;
    }
    for (char c : folder)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            error = "holds a control character";
            return false;
        }
    for (size_t start = 0; start <= folder.size();) {
        const size_t slash = std::min(folder.find('/', start), folder.size());
        const std::string part = folder.substr(start, slash - start);
        if (part.empty() || part == "." || part == "..") {
            error = "holds an empty part, '.' or '..'";
            return false;
        }
        start = slash + 1;
    }
    return true;
}

std::string GcsFolder(const std::string& bucket, const std::string& folder) {
    return "gs://" + bucket + "/" + folder + "/";
}

}  // namespace gcsdk
