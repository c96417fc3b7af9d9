#include "tests/support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "host/HbDebug.h"
#include "host/ZKPlatformInfo.h"

namespace testsupport {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "gcsdk-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string TempDir::Write(const std::string& name, const std::string& content) const {
    std::filesystem::path file = std::filesystem::path(m_path) / name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + file.string());
    return file.string();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

ScopedSettings::ScopedSettings(const std::string& iniText) {
    m_path = m_dir.Write("settings.ini", iniText);
    m_previous = ZKPlatformInfo::SetSettingsFile(m_path);
    host::ReloadLogSettings();
}

ScopedSettings::~ScopedSettings() {
    ZKPlatformInfo::SetSettingsFile(m_previous);
    host::ReloadLogSettings();
}

void ScopedSettings::Rewrite(const std::string& iniText) const {
    m_dir.Write("settings.ini", iniText);
}

}  // namespace testsupport
