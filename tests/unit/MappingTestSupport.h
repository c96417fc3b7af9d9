// Captured responses for the record-mapping tests.
#pragma once

#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "GoogleCloudParser/CGoogleCloudParser.h"
#include "tests/support/LogCapture.h"

namespace mappingtest {

using namespace GoogleCloudSDKWrapper;

inline std::string ReadFixture(const std::string& file) {
    std::ifstream in(std::string(GCSDK_FIXTURES_DIR) + "/" + file, std::ios::binary);
    EXPECT_TRUE(in.good()) << file;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Fixture files of a folder whose names start with one of the prefixes.
inline std::vector<std::string> Fixtures(const std::string& folder,
                                         const std::vector<std::string>& prefixes) {
    std::vector<std::string> files;
    if (DIR* dir = opendir((std::string(GCSDK_FIXTURES_DIR) + "/" + folder).c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            for (const std::string& prefix : prefixes)
                if (name[0] != '.' && name.rfind(prefix, 0) == 0) files.push_back(folder + "/" + name);
        }
        closedir(dir);
    }
    EXPECT_FALSE(files.empty()) << folder;
    return files;
}

// The records of a fixture, whatever its shape: one resource, a list ("items" or "projects"), or an
// aggregated list whose "items" maps scopes to lists. Nothing may be logged as an error.
template <typename T>
std::vector<T> ParseFixture(const std::string& file, const std::string& aggregatedKey = "") {
    testsupport::LogCapture log;
    CGoogleCloudParser parser;
    std::string text = ReadFixture(file);
    mObject top;
    EXPECT_TRUE(ZkJson::Unserialize(text, top)) << file;
    std::vector<T> records;
    if (const mObject* scopes = ZkJson::FindObject(top, "items")) {
        for (const auto& scope : *scopes)
            if (scope.second.type() == json_spirit::obj_type)
                parser.ConvertNestedList(scope.second.get_obj(), aggregatedKey, records);
    } else if (ZkJson::FindArray(top, "items") || ZkJson::FindArray(top, "projects")) {
        EXPECT_TRUE(parser.ParseList(text, top.count("items") ? "items" : "projects", records)) << file;
    } else if (ZkJson::GetStringValue(top, "kind").find("List") != std::string::npos) {
        // an empty list: no list member at all
    } else {
        records.emplace_back();
        EXPECT_TRUE(parser.ParseObject(text, records.back())) << file;
    }
    for (const auto& line : log.Lines())
        EXPECT_NE(host::kLogError, line.level) << file << ": " << line.message;
    return records;
}

// One field of record number index in a fixture, as text.
template <typename T>
struct FieldCheck {
    size_t index;
    std::function<std::string(const T&)> field;
    std::string expected;
};

template <typename T>
void ExpectFields(const std::string& file, const std::vector<FieldCheck<T>>& checks,
                  const std::string& aggregatedKey = "") {
    std::vector<T> records = ParseFixture<T>(file, aggregatedKey);
    for (const FieldCheck<T>& c : checks) {
        ASSERT_LT(c.index, records.size()) << file;
        EXPECT_EQ(c.expected, c.field(records[c.index])) << file << " #" << c.index;
    }
}

inline std::string Join(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : ",") + part;
    return text;
}

inline std::string Join(const std::vector<SKeyValueInfoLib>& pairs) {
    std::string text;
    for (const SKeyValueInfoLib& pair : pairs)
        text += (text.empty() ? "" : ",") + pair.key + "=" + pair.value;
    return text;
}

}  // namespace mappingtest
