#include "ZKPlatformInfo.h"

#include <sys/stat.h>

#include <boost/property_tree/ini_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <cerrno>
#include <cstdlib>
#include <mutex>

#include "HbDebug.h"

namespace pt = boost::property_tree;

struct ZKPlatformInfo::Snapshot {
    pt::ptree tree;
    std::string path;
    bool exists = false;
    std::string loadError;
};

namespace {

// Identifies one version of the settings file; a change of any field means the file must be re-read.
struct FileVersion {
    std::string path;
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long mtimeNs = 0;

    bool operator==(const FileVersion& other) const {
        return path == other.path && exists == other.exists && device == other.device &&
               inode == other.inode && size == other.size && mtimeNs == other.mtimeNs;
    }
};

std::mutex g_mutex;
std::string g_override;
FileVersion g_cachedVersion;
std::shared_ptr<const ZKPlatformInfo::Snapshot> g_cached;

FileVersion CurrentVersion(const std::string& path) {
    FileVersion version;
    version.path = path;
    struct stat info {};
    if (path.empty() || stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return version;
    version.exists = true;
    version.device = info.st_dev;
    version.inode = info.st_ino;
    version.size = info.st_size;
    version.mtimeNs = static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
    return version;
}

// "value ; why" and "value # why": a comment after a value, as INI files are commonly written, is not
// part of the value. The mark must follow a blank, so "a;b" keeps its semicolon.
std::string WithoutInlineComment(const std::string& value) {
    for (size_t i = 1; i < value.size(); ++i) {
        if ((value[i] == ';' || value[i] == '#') && (value[i - 1] == ' ' || value[i - 1] == '\t')) {
            const size_t end = value.find_last_not_of(" \t", i - 1);
            return end == std::string::npos ? std::string() : value.substr(0, end + 1);
        }
    }
    return value;
}

void StripInlineComments(pt::ptree& tree) {
    for (auto& section : tree)
        for (auto& entry : section.second) entry.second.data() = WithoutInlineComment(entry.second.data());
}

std::shared_ptr<const ZKPlatformInfo::Snapshot> Load(const FileVersion& version) {
    auto snapshot = std::make_shared<ZKPlatformInfo::Snapshot>();
    snapshot->path = version.path;
    if (!version.exists) {
        struct stat info {};
        // Something that is there but is no file (a folder, say) cannot be read either.
        snapshot->exists = !version.path.empty() && stat(version.path.c_str(), &info) == 0;
        if (snapshot->exists) snapshot->loadError = "it is not a regular file";
        return snapshot;
    }
    snapshot->exists = true;
    try {
        pt::read_ini(version.path, snapshot->tree);
        StripInlineComments(snapshot->tree);
    } catch (const pt::ptree_error& error) {
        // A settings file we cannot read must not stop the agent: every default holds, and we say why.
        snapshot->tree.clear();
        snapshot->loadError = error.what();
        HbDebug().Error(__PRETTY_FUNCTION__, "Failed to read settings file [%s]: %s. Defaults are used.",
                        version.path.c_str(), error.what());
    }
    return snapshot;
}

std::shared_ptr<const ZKPlatformInfo::Snapshot> CurrentSnapshot() {
    std::string path;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        path = g_override;
    }
    if (path.empty()) {
        const char* fromEnvironment = std::getenv("GCSDK_SETTINGS");
        if (fromEnvironment) path = fromEnvironment;
    }
    FileVersion version = CurrentVersion(path);
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_cached && g_cachedVersion == version) return g_cached;
    }
    // Parsed outside the lock: a parse error is logged, and logging may read the settings itself.
    auto snapshot = Load(version);
    std::lock_guard<std::mutex> lock(g_mutex);
    g_cachedVersion = version;
    g_cached = snapshot;
    return snapshot;
}

boost::optional<std::string> Lookup(const pt::ptree& tree, const std::string& section,
                                    const std::string& key) {
    // A separator that cannot occur in names, so dots in keys stay part of the key.
    return tree.get_optional<std::string>(pt::ptree::path_type(section + '\x1f' + key, '\x1f'));
}

}  // namespace

ZKPlatformInfo::ZKPlatformInfo() : m_snapshot(CurrentSnapshot()) {}

ZKPlatformInfo::~ZKPlatformInfo() = default;

bool ZKPlatformInfo::getString(const std::string& section, const std::string& key, std::string& value) const {
    auto found = Lookup(m_snapshot->tree, section, key);
    if (!found) return false;
    value = *found;
    return true;
}

int ZKPlatformInfo::getNumber(const std::string& section, const std::string& key,
                              unsigned long& value) const {
    auto found = Lookup(m_snapshot->tree, section, key);
    if (!found) return 0;
    const std::string& text = *found;
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    unsigned long number = std::strtoul(begin, &end, 10);
    bool digitsOnly = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
    if (!digitsOnly || errno == ERANGE || end == begin || *end != '\0') {
        HbDebug().Error(__PRETTY_FUNCTION__, "Setting [%s/%s] = [%s] is not a number; the default is used.",
                        section.c_str(), key.c_str(), text.c_str());
        return 0;
    }
    value = number;
    return 1;
}

std::vector<std::string> ZKPlatformInfo::getKeys(const std::string& section) const {
    std::vector<std::string> keys;
    auto found = m_snapshot->tree.find(section);
    if (found == m_snapshot->tree.not_found()) return keys;
    for (const auto& entry : found->second) keys.push_back(entry.first);
    return keys;
}

const std::string& ZKPlatformInfo::getFilePath() const {
    return m_snapshot->path;
}

bool ZKPlatformInfo::fileExists() const {
    return m_snapshot->exists;
}

const std::string& ZKPlatformInfo::getLoadError() const {
    return m_snapshot->loadError;
}

std::string ZKPlatformInfo::SetSettingsFile(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_mutex);
    std::string previous = g_override;
    g_override = path;
    return previous;
}

std::string ZKPlatformInfo::SettingsFilePath() {
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!g_override.empty()) return g_override;
    }
    const char* fromEnvironment = std::getenv("GCSDK_SETTINGS");
    return fromEnvironment ? fromEnvironment : "";
}

bool ZKPlatformInfoGetNumber(const ZKPlatformInfo& info, const std::string& section, const std::string& key,
                             uint32_t& value) {
    unsigned long number = 0;
    if (!info.getNumber(section, key, number)) return false;
    if (number > UINT32_MAX) {
        HbDebug().Error(__PRETTY_FUNCTION__,
                        "Setting [%s/%s] = [%lu] is larger than %u; the default is used.", section.c_str(),
                        key.c_str(), number, UINT32_MAX);
        return false;
    }
    value = static_cast<uint32_t>(number);
    return true;
}
