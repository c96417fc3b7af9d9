// What the gcsdk tests against gcemu share: the suite's emulator, settings and key, gcsdk run as a child
// with them, and readers of what it printed (JSON arrays, table headers, lines).
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "host/ZkJson.h"
#include "tests/support/EmulatorFixture.h"
#include "tests/support/TempDir.h"
#include "tests/tools/GcsdkChild.h"

namespace gcsdktest {

using gcemu::World;
using testsupport::ReadFile;
using testsupport::TempDir;

// A command line and what its stderr must hold.
struct Case {
    std::vector<std::string> args;
    std::string err;
};

// The objects of a JSON array; empty (with a failure) when the text is not one.
inline std::vector<json_spirit::mObject> JsonObjects(const std::string& text) {
    json_spirit::mValue value;
    std::vector<json_spirit::mObject> objects;
    if (!ZkJson::Unserialize(text, value) || value.type() != json_spirit::array_type) {
        ADD_FAILURE() << "not a JSON array: " << text;
        return objects;
    }
    for (const json_spirit::mValue& item : value.get_array())
        if (item.type() == json_spirit::obj_type) objects.push_back(item.get_obj());
    return objects;
}

inline std::multiset<std::string> Field(const std::vector<json_spirit::mObject>& objects,
                                        const std::string& name) {
    std::multiset<std::string> values;
    for (const auto& object : objects) values.insert(ZkJson::GetStringValue(object, name));
    return values;
}

// The first line of a table, its header, with the runs of blanks between columns made single.
inline std::string Header(const std::string& table) {
    std::string line = table.substr(0, table.find('\n')), squeezed;
    for (size_t i = 0; i < line.size(); ++i)
        if (!(line[i] == ' ' && i + 2 < line.size() && line[i + 1] == ' ')) squeezed += line[i];
    return squeezed;
}

class GcsdkTest : public testsupport::EmulatorTest {
protected:
    void SetUp() override {
        EmulatorTest::SetUp();
        m_settings = Emulator().WriteClientSettings(
            m_dir.File("gcsdk.ini"), "[GoogleCloud]\nnHttpRetryAttempts=0\n" + ChildLogSettings(m_dir) +
                                         "sGuidCacheFile=" + m_dir.File("guids.db") + "\n");
        m_keyFile = Key().jsonKeyFile;
    }

    // gcsdk with the emulator's settings and the suite's JSON key, given through the environment.
    Result Run(const std::vector<std::string>& args, std::map<std::string, std::string> env = {}) {
        env.emplace("GCSDK_SETTINGS", m_settings);
        env.emplace("GCSDK_KEY_FILE", m_keyFile);
        return Child(m_dir, args, env).Finish();
    }
    // Without any environment: everything comes from the command line.
    Result RunBare(const std::vector<std::string>& args) { return Child(m_dir, args, {}).Finish(); }

    // Names of the seed's VMs of a project that pass the filter.
    std::multiset<std::string> SeedVms(
        const std::string& projectId,
        const std::function<bool(const json_spirit::mObject&)>& keep = nullptr) {
        std::multiset<std::string> names;
        World::Txn world = Emulator().world().Lock();
        const json_spirit::mObject* project = world.SeedProject(projectId);
        const json_spirit::mArray* instances = project ? ZkJson::FindArray(*project, "instances") : nullptr;
        if (!instances) return names;
        for (const json_spirit::mValue& instance : *instances)
            if (!keep || keep(instance.get_obj()))
                names.insert(ZkJson::GetStringValue(instance.get_obj(), "name"));
        return names;
    }
    std::vector<std::string> ProjectIds() {
        std::vector<std::string> ids;
        World::Txn world = Emulator().world().Lock();
        for (const auto& entry : world.List(gcemu::collections::kProjects)) ids.push_back(entry.first);
        return ids;
    }

    TempDir m_dir;
    std::string m_settings;
    std::string m_keyFile;
};

// The object of the JSON array whose member has the value; empty when none.
inline json_spirit::mObject Find(const std::string& json, const std::string& member,
                                 const std::string& value) {
    for (const auto& object : JsonObjects(json))
        if (ZkJson::GetStringValue(object, member) == value) return object;
    return {};
}

// The line of the text that starts with the prefix; empty when none.
inline std::string LineStarting(const std::string& text, const std::string& prefix) {
    const size_t at = text.rfind('\n' + prefix) + 1;  // npos + 1 == 0 is the first line
    if (text.compare(at, prefix.size(), prefix) != 0) return "";
    return text.substr(at, text.find('\n', at) - at);
}

inline bool HasLabel(const json_spirit::mObject& instance, const std::string& key, const std::string& value) {
    const json_spirit::mObject* labels = ZkJson::FindObject(instance, "labels");
    return labels && labels->count(key) && ZkJson::GetStringValue(*labels, key) == value;
}

}  // namespace gcsdktest
