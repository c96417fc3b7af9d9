// Zones, regions, machine types, networks, subnetworks and projects.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/MappingTestSupport.h"

using namespace GoogleCloudSDKWrapper;
using mappingtest::ExpectFields;
using mappingtest::Fixtures;
using mappingtest::ParseFixture;

namespace {

template <typename T>
T Read(const std::string& text) {
    T record;
    EXPECT_TRUE(CGoogleCloudParser().ParseObject(text, record)) << text;
    return record;
}

TEST(LocationFixtures, EveryCaptureParses) {
    for (const std::string& f : Fixtures("compute", {"zone"}))
        EXPECT_FALSE(ParseFixture<SZoneInfoLib>(f).empty()) << f;
    for (const std::string& f : Fixtures("compute", {"region"}))
        EXPECT_FALSE(ParseFixture<SRegionInfoLib>(f).empty());
    for (const std::string& f : Fixtures("compute", {"machinetype"}))
        EXPECT_FALSE(ParseFixture<SMachineTypeInfoLib>(f).empty()) << f;
    for (const std::string& f : Fixtures("compute", {"network"}))
        EXPECT_FALSE(ParseFixture<SNetworkInfoLib>(f).empty());
    for (const std::string& f : Fixtures("compute", {"subnetwork"}))
        EXPECT_FALSE(ParseFixture<SSubnetInfoLib>(f, "subnetworks").empty()) << f;
    for (const std::string& f : Fixtures("compute", {"project"}))
        EXPECT_FALSE(ParseFixture<SProjectInfoLib>(f).empty());
    for (const std::string& f : Fixtures("resourcemanager", {""}))
        EXPECT_FALSE(ParseFixture<SProjectInfoLib>(f).empty()) << f;
}

TEST(LocationFixtures, FieldsDiscoveryAndRestoreNeed) {
    ExpectFields<SZoneInfoLib>(
        "compute/zone-us-central1-a.json",
        {{0, [](const SZoneInfoLib& z) { return z.name + "|" + z.id + "|" + z.status + "|" + z.region; },
          "us-central1-a|13462829244527433283|UP|us-central1"}});
    // The second page of a list lands after the first.
    std::vector<SRegionInfoLib> regions;
    CGoogleCloudParser parser;
    for (const char* page : {"compute/regions-list-paged-1.json", "compute/regions-list-paged-2.json"})
        ASSERT_TRUE(parser.ParseList(mappingtest::ReadFixture(page), "items", regions));
    std::string seen;
    for (const SRegionInfoLib& r : regions) {
        seen += r.name + ":";
        for (const SZoneInfoLib& z : r.zoneList)  // name and link only
            seen +=
                z.name +
                (z.selfLink == "https://www.googleapis.com/compute/v1/projects/project_name/zones/" + z.name
                     ? ""
                     : "!") +
                z.id + z.region + z.status + ",";
        seen += " ";
    }
    EXPECT_EQ(
        "asia-east1:asia-east1-a, europe-west1:europe-west1-a,europe-west1-b, "
        "us-central1:us-central1-a,us-central1-b, ",
        seen);

    ExpectFields<SMachineTypeInfoLib>(
        "compute/machinetype-n1-standard-1.json",
        {{0,
          [](const SMachineTypeInfoLib& m) {
              return m.name + "|" + m.description + "|" + m.zone + "|" + std::to_string(m.guestCpus) + "|" +
                     std::to_string(m.memoryMb) + "|" + std::to_string(m.maximumPersistentDisks) + "|" +
                     std::to_string(m.maximumPersistentDisksSizeGb);
          },
          "n1-standard-1|1 vCPU, 3.75 GB RAM|us-central1-a|1|3840|16|10240"}});
    auto network = [](const SNetworkInfoLib& n) {
        std::string text = n.name + "|" + n.id + "|" + n.IPv4Range + "|" + n.gatewayIPv4 + "|" +
                           std::to_string(n.subnetList.size());
        if (!n.subnetList.empty())
            text +=
                "|" + n.subnetList[0].name + "|" + n.subnetList[0].selfLink + "|" + n.subnetList[0].region;
        return text;
    };
    ExpectFields<SNetworkInfoLib>("compute/network-legacy-ipv4range.json",
                                  {{0, network, "default|08257021638942464470|10.240.0.0/16|10.240.0.1|0"}});
    ExpectFields<SNetworkInfoLib>("compute/network-auto-subnets.json",
                                  {{0, network,
                                    "default|1705778614467146592|||34|default|https://www.googleapis.com/"
                                    "compute/v1/projects/gcpdiag-gce1-aaaa/"
                                    "regions/us-west1/subnetworks/default|"}});
    // The primary range, not a secondary one.
    ExpectFields<SSubnetInfoLib>(
        "compute/subnetworks-list-secondary-ranges.json",
        {{1,
          [](const SSubnetInfoLib& s) {
              return s.name + "|" + s.id + "|" + s.region + "|" + s.network + "|" + s.ipRangeAddress + "|" +
                     s.ipRangePrefix + "|" + s.gatewayAddress;
          },
          "gke1-subnet|1818761461517361320|europe-west4|default|192.168.0.0|24|192.168.0.1"}});
    auto project = [](const SProjectInfoLib& p) {
        return p.name + "|" + p.projectId + "|" + p.organizationId;
    };
    ExpectFields<SProjectInfoLib>("resourcemanager/projects-list-single.json",
                                  {{0, project, "C7N Test Target|c7n-test-target|111442920246"}});
    ExpectFields<SProjectInfoLib>(
        "resourcemanager/projects-list-with-parents.json",
        {{1, project, "My First Project|practical-truck-276716|"}});  // under a folder
}

TEST(LocationReaders, EdgeCases) {
    SRegionInfoLib region =
        Read<SRegionInfoLib>(R"({"zones": ["p/zones/r-c", 5, "p/zones/r-a", "p/zones/r-b"]})");
    std::string zones;
    for (const SZoneInfoLib& z : region.zoneList) zones += z.name + ",";
    EXPECT_EQ("r-c,r-a,r-b,", zones);

    const std::pair<const char*, int64_t> sizes[] = {
        {R"("263168")", 263168}, {R"("lots")", 0}, {R"("64TB")", 0}, {"10240", 0}};
    for (const auto& [value, size] : sizes)
        EXPECT_EQ(size,
                  Read<SMachineTypeInfoLib>(std::string(R"({"maximumPersistentDisksSizeGb": )") + value + "}")
                      .maximumPersistentDisksSizeGb);
    EXPECT_EQ(0, Read<SMachineTypeInfoLib>("{}").maximumPersistentDisksSizeGb);

    const std::pair<const char*, const char*> ranges[] = {
        {"10.0.0.0/24", "10.0.0.0|24"}, {"10.0.0.0", "|"},  {"", "|"},
        {"fd20::/64", "fd20::|64"},     {"a/b/c", "a|b/c"}, {"/8", "|8"}};
    for (const auto& [range, parts] : ranges) {
        SSubnetInfoLib s = Read<SSubnetInfoLib>(std::string(R"({"ipCidrRange": ")") + range + "\"}");
        EXPECT_EQ(parts, s.ipRangeAddress + "|" + s.ipRangePrefix) << range;
    }

    const std::pair<const char*, const char*> parents[] = {
        {R"(, "parent": {"type": "organization", "id": "11144"})", "11144"},
        {R"(, "parent": {"type": "folder", "id": "389734459213"})", ""},
        {R"(, "parent": {"type": "Organization", "id": "1"})", ""},
        {R"(, "parent": "organizations/1")", ""},
        {"", ""}};
    for (const auto& [parent, organization] : parents)
        EXPECT_EQ(organization,
                  Read<SProjectInfoLib>(std::string(R"({"name": "N", "projectId": "p")") + parent + "}")
                      .organizationId);
}

}  // namespace
