// Reading the resources around a VM through the facade: regions, zones, machine types, networks,
// disks, disk types, snapshots, images, licenses, projects, and the URLs the restore path needs.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tests/support/EmulatorFixture.h"

namespace {

using namespace GoogleCloudSDKWrapper;

const char kProject[] = "gcemu-project-1";
const char kBase[] = "https://www.googleapis.com/compute/v1/projects/gcemu-project-1/";

template <typename T>
std::set<std::string> Names(const std::vector<T>& records) {
    std::set<std::string> names;
    for (const auto& record : records) names.insert(record.name);
    return names;
}

class ResourcesEmulatorTest : public testsupport::EmulatorTest {};

TEST_F(ResourcesEmulatorTest, RegionsZonesAndMachineTypes) {
    auto w = Connected();
    SRegionInfoLib region;
    ASSERT_TRUE(w->GetRegionInfo(kProject, "europe-west4", "", region, 0));
    EXPECT_EQ(Names(region.zoneList), (std::set<std::string>{"europe-west4-a", "europe-west4-b"}));
    SRegionInfoLib byId;
    ASSERT_TRUE(w->GetRegionInfo(kProject, "", region.id, byId, 0));
    EXPECT_EQ(byId.name, "europe-west4");
    std::vector<SRegionInfoLib> regions;
    ASSERT_TRUE(w->GetRegionInfoList("", regions, 0));
    EXPECT_EQ(Names(regions), (std::set<std::string>{"europe-west4", "us-central1"})) << "first project only";

    std::vector<SZoneInfoLib> zones, inRegion;
    ASSERT_TRUE(w->GetZoneInfoList(kProject, zones, 0));
    EXPECT_EQ(zones.size(), 5u);
    ASSERT_TRUE(w->GetZoneInfoListInRegion(kProject, "us-central1", inRegion, 0));
    EXPECT_EQ(inRegion.size(), 3u);
    std::vector<SZoneInfoLib> unknown{SZoneInfoLib()};
    EXPECT_TRUE(w->GetZoneInfoListInRegion(kProject, "mars-north1", unknown, 0)) << "404: an empty answer";
    EXPECT_EQ(unknown.size(), 1u);

    SMachineTypeInfoLib type;
    type.zone = "us-central1-a";
    ASSERT_TRUE(w->GetMachineTypeInfo(kProject, "n2-standard-4", type, 0));
    EXPECT_EQ(type.guestCpus, 4);
    SMachineTypeInfoLib byUrl;
    byUrl.zone = "us-central1-a";
    ASSERT_TRUE(w->GetMachineTypeInfo(kProject, type.selfLink, byUrl, 0))
        << "a machine type URL is taken too";
    EXPECT_EQ(byUrl.name, "n2-standard-4");
    std::string url;
    ASSERT_TRUE(w->GetMachineTypeUri(kProject, "e2-standard-2", "us-central1-b", url));
    EXPECT_EQ(url, std::string(kBase) + "zones/us-central1-b/machineTypes/e2-standard-2");
    EXPECT_FALSE(w->GetMachineTypeUri(kProject, "no-such-type", "us-central1-b", url));
    EXPECT_EQ(url, "");
    std::vector<SMachineTypeInfoLib> types;
    ASSERT_TRUE(w->GetMachineTypesInfoList(kProject, "us-central1-a", types, 0));
    EXPECT_TRUE(Names(types).count("n1-standard-1"));
}

TEST_F(ResourcesEmulatorTest, NetworksAndSubnetworks) {
    auto w = Connected();
    std::vector<SNetworkInfoLib> networks;
    ASSERT_TRUE(w->GetNetworkList(kProject, networks, 0));
    EXPECT_EQ(Names(networks), (std::set<std::string>{"default", "prod-vpc", "legacy-net"}));
    SNetworkInfoLib legacy;
    ASSERT_TRUE(w->GetNetworkInfo(kProject, "legacy-net", legacy, 0));
    EXPECT_FALSE(legacy.IPv4Range.empty());
    EXPECT_TRUE(legacy.subnetList.empty());
    std::string networkUrl;
    ASSERT_TRUE(w->GetNetworkUri(kProject, "prod-vpc", networkUrl));
    EXPECT_EQ(networkUrl, std::string(kBase) + "global/networks/prod-vpc");

    std::vector<SSubnetInfoLib> subnets;
    ASSERT_TRUE(w->GetSubNetworkList(kProject, "", "us-central1", networkUrl, subnets, 0));
    ASSERT_EQ(Names(subnets), std::set<std::string>{"prod-us"});
    SSubnetInfoLib subnet;
    subnet.region = "us-central1";
    ASSERT_TRUE(w->GetSubNetworkInfo(kProject, subnets[0].selfLink, subnet, 0));
    EXPECT_EQ(subnet.network, "prod-vpc");
    EXPECT_FALSE(subnet.ipRangePrefix.empty());
}

TEST_F(ResourcesEmulatorTest, DisksDiskTypesAndTheirStates) {
    auto w = Connected();
    SDiskInfoLib zonal, regional;
    ASSERT_TRUE(w->GetDiskInfo(kProject, "vault-data", "us-central1-b", "", false, zonal, 0));
    EXPECT_TRUE(zonal.isEncrypted);
    EXPECT_EQ(zonal.encryptionKey.rfind("kmsKeyName:projects/", 0), 0u);
    EXPECT_EQ(zonal.rawJson.find("\"name\":\"vault-data\"") != std::string::npos ||
                  zonal.rawJson.find("\"name\": \"vault-data\"") != std::string::npos,
              true)
        << "the disk keeps the text it was read from";
    ASSERT_TRUE(w->GetDiskInfo(kProject, "db-ha-data", "", "us-central1", true, regional, 0));
    EXPECT_EQ(regional.replicaZones.size(), 2u);

    std::vector<std::string> replicaZones;
    std::string diskUrl;
    ASSERT_TRUE(w->ParseReplicaZonesFromJson(regional.rawJson, replicaZones, diskUrl));
    EXPECT_EQ(replicaZones, regional.replicaZones);
    EXPECT_EQ(diskUrl, std::string(kBase) + "regions/us-central1/disks/db-ha-data");
    SDiskInfoLib parsed;
    EXPECT_FALSE(w->ParseDiskInfo("not json", parsed));

    EXPECT_TRUE(w->DoesDiskExist(kProject, "spare-disk", "europe-west4-a", "", false));
    EXPECT_FALSE(w->DoesDiskExist(kProject, "spare-disk", "europe-west4-b", "", false));
    EXPECT_TRUE(w->DoesDiskExist(kProject, "db-ha-data", "", "us-central1", true));
    std::string status = "stale";
    ASSERT_TRUE(w->GetDiskState(kProject, "us-central1-b", "", false, "vault-data", status));
    EXPECT_EQ(status, "READY");
    EXPECT_FALSE(w->GetDiskState(kProject, "us-central1-b", "", false, "no-such-disk", status));
    EXPECT_EQ(status, "");

    std::string zonalType, regionalType, either;
    ASSERT_TRUE(w->GetZonalDiskTypeUri(kProject, "pd-ssd", "us-central1-a", zonalType));
    EXPECT_EQ(zonalType, std::string(kBase) + "zones/us-central1-a/diskTypes/pd-ssd");
    ASSERT_TRUE(w->GetRegionalDiskTypeUri(kProject, "pd-balanced", "us-central1", regionalType));
    EXPECT_EQ(regionalType, std::string(kBase) + "regions/us-central1/diskTypes/pd-balanced");
    ASSERT_TRUE(w->GetDiskTypeUri(kProject, "pd-ssd", "", "us-central1", true, either));
    EXPECT_FALSE(w->GetZonalDiskTypeUri(kProject, "pd-ssd", "", either)) << "no zone: nothing is asked";
}

TEST_F(ResourcesEmulatorTest, SnapshotsImagesAndLicenses) {
    auto w = Connected();
    std::vector<SSnapshotInfoLib> snapshots;
    ASSERT_TRUE(w->GetSnapshotList(kProject, snapshots, 0));
    EXPECT_EQ(snapshots.size(), 5u);
    SSnapshotInfoLib snapshot;
    ASSERT_TRUE(w->GetSnapshotInfo(kProject, "web-1-daily-20240401", snapshot, 0));
    EXPECT_EQ(snapshot.sourceDisk, "web-1");
    std::string status, url;
    ASSERT_TRUE(w->GetSnapshotState(kProject, "web-1-daily-20240401", status));
    EXPECT_EQ(status, "READY");
    ASSERT_TRUE(w->GetSnapshotUri(kProject, "web-1-daily-20240401", url));
    EXPECT_EQ(url, std::string(kBase) + "global/snapshots/web-1-daily-20240401");
    EXPECT_TRUE(w->DoesSnapshotExist(kProject, "old-app-final"));
    EXPECT_FALSE(w->DoesSnapshotExist(kProject, "never-taken"));

    std::vector<SImageInfoLib> images;
    ASSERT_TRUE(w->GetImageList(kProject, images, 0));
    EXPECT_EQ(Names(images), (std::set<std::string>{"golden-web", "win-golden"}));
    SImageInfoLib image;
    ASSERT_TRUE(w->GetImageInfo(kProject, "golden-web", image, 0));

    std::vector<SLicenseInfoLib> licenses;
    ASSERT_TRUE(w->GetLicensesForProject("Microsoft Windows Server 2019 Datacenter", licenses));
    ASSERT_FALSE(licenses.empty());
    EXPECT_NE(licenses[0].selfLink.find("/projects/windows-cloud/global/licenses/"), std::string::npos);
    EXPECT_FALSE(w->GetLicensesForProject("Plan 9", licenses)) << "no image project: nothing is asked";

    const std::pair<const char*, const char*> rows[] = {
        {"Windows Server 2022", "windows-cloud"},
        {"Red Hat Enterprise Linux 9", "rhel-cloud"},
        {"SUSE Linux Enterprise 15", "suse-cloud"},
        {"Ubuntu 22.04 LTS", "ubuntu-os-cloud"},
        {"CentOS Stream 9", "centos-cloud"},
        {"fedora-coreos-cloud stable", "fedora-cloud"},
        {"Fedora 39", ""},
        {"Debian GNU/Linux 12", "centos-cloud"},
        {"", ""},
    };
    for (const auto& [os, project] : rows) EXPECT_EQ(w->GetImageProjectId(os), project) << os;
}

}  // namespace
