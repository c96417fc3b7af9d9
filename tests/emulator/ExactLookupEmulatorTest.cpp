// Lookups do what was asked: a name, id or label value is matched as itself, never as a pattern, so
// no other VM is found, stopped or deleted in its place.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "emulator/ComputeModel.h"
#include "tests/support/EmulatorFixture.h"

namespace {

using namespace GoogleCloudSDKWrapper;

const char kProject[] = "gcemu-project-1";

class ExactLookupEmulatorTest : public testsupport::EmulatorTest {};

TEST_F(ExactLookupEmulatorTest, NamesAndIdsAreMatchedAsThemselves) {
    auto wrapper = Connected();
    // Each would match a VM of the default world as a regular expression, or be refused as one.
    for (const char* name :
         {"unlabelled-.", "unlabelled-.*", "web-1|db-1", "web-[12]", "web-(1)", ".*", "WEB-1"}) {
        SVMInfoLib vm;
        EXPECT_FALSE(wrapper->DoesVMExist(kProject, name, "", vm)) << name << " found " << vm.name;
        EXPECT_FALSE(wrapper->DoesVMExist(kProject, name, "europe-west4-b", vm))
            << name << " found " << vm.name;
    }
    SVMInfoLib found;
    ASSERT_TRUE(wrapper->DoesVMExist(kProject, "unlabelled-1", "", found));
    EXPECT_EQ(found.name, "unlabelled-1");

    // An id that is a pattern of another VM's id.
    std::string id = found.id;
    ASSERT_FALSE(id.empty());
    SVMInfoLib byId;
    EXPECT_FALSE(
        wrapper->GetVMInfo(kProject, "", id.substr(0, id.size() - 1) + ".", "europe-west4-b", byId, 0));
    std::string json;
    EXPECT_FALSE(wrapper->GetInstanceConfigJson(kProject, "", id.substr(0, id.size() - 1) + ".",
                                                "europe-west4-b", json));
    EXPECT_TRUE(wrapper->GetVMInfo(kProject, "", id, "europe-west4-b", byId, 0));
    EXPECT_EQ(byId.name, "unlabelled-1");
}

TEST_F(ExactLookupEmulatorTest, APatternNameDeletesAndStopsNothing) {
    auto wrapper = Connected();
    EXPECT_FALSE(wrapper->DeleteInstance(kProject, "unlabelled-.", "", "", true));
    EXPECT_FALSE(wrapper->PowerOffInstance(kProject, "unlabelled-.", "", ""));
    EXPECT_EQ(Requests("DELETE", "compute.googleapis.com"), 0u);
    EXPECT_EQ(Requests("POST", "compute.googleapis.com"), 0u);
    SVMInfoLib vm;
    EXPECT_TRUE(wrapper->GetVMInfo(kProject, "unlabelled-1", "", "europe-west4-b", vm, 0));
    EXPECT_EQ(vm.status, "RUNNING");
}

TEST_F(ExactLookupEmulatorTest, LabelValuesAreLiteralsAndKeysMustBeLabelKeys) {
    auto wrapper = Connected();
    const struct {
        const char* key;
        const char* value;
        std::set<std::string> names;
    } cases[] = {
        {"backup", "weekly", {"db-2"}},
        {"backup", "weekl.", {}},
        {"backup", "daily|weekly", {}},
        {"app", "(db)", {}},
        {"app", "d.", {}},
    };
    for (const auto& c : cases) {
        std::vector<SVMInfoLib> vms;
        EXPECT_TRUE(wrapper->GetVMInfoListByLabel(kProject, c.key, c.value, vms, 0)) << c.value;
        std::set<std::string> names;
        for (const auto& vm : vms) names.insert(vm.name);
        EXPECT_EQ(names, c.names) << c.key << "=" << c.value;
    }
    for (const char* key : {"Backup", "app.x", "a b", "app=db"}) {
        std::vector<SVMInfoLib> vms;
        EXPECT_FALSE(wrapper->GetVMInfoListByLabel(kProject, key, "db", vms, 0)) << key;
        EXPECT_EQ(wrapper->GetLastErrorCode(), "INVALID_ARGUMENT") << key;
        EXPECT_TRUE(vms.empty());
    }
}

}  // namespace
