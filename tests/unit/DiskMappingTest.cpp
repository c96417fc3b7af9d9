// Disks, snapshots, images, disk types and licenses: readers over inline and captured JSON, and the
// disk and snapshot bodies.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/unit/MappingTestSupport.h"

using namespace GoogleCloudSDKWrapper;
using mappingtest::Join;
using testsupport::LogCapture;

namespace {

const std::string kKey = "projects/kp/locations/us/keyRings/ring/cryptoKeys/key";

SDiskInfoLib ReadDisk(const std::string& text, SDiskInfoLib disk = {}) {
    EXPECT_TRUE(CGoogleCloudParser().ParseObject(text, disk)) << text;
    return disk;
}

std::string Features(const SDiskInfoLib& d) {
    return Join(d.guestOsFeatures.guestOsFeatures);
}

TEST(DiskReader, AttachedEntryAndDiskResource) {
    SDiskInfoLib a = ReadDisk(R"({"kind": "compute#attachedDisk", "type": "SCRATCH", "mode": "READ_WRITE",
        "source": "https://h/projects/p/zones/z1/disks/data-1", "deviceName": "dev", "index": 2, "boot": true,
        "autoDelete": true, "interface": "NVME", "name": "ignored", "users": ["https://h/instances/x"],
        "guestOsFeatures": [{"type": "GVNIC"}, {"kind": "no type"}, {"type": "UEFI_COMPATIBLE"}]})");
    EXPECT_EQ(
        "data-1|https://h/projects/p/zones/z1/disks/"
        "data-1|SCRATCH|dev|2|1|1|READ_WRITE|NVME||GVNIC,UEFI_COMPATIBLE",
        a.name + "|" + a.source + "|" + a.type + "|" + a.deviceName + "|" + std::to_string(a.index) + "|" +
            std::to_string(a.boot) + "|" + std::to_string(a.autoDelete) + "|" + a.mode + "|" + a.interface +
            "|" + Join(a.users) + "|" + Features(a));

    SDiskInfoLib r = ReadDisk(R"({"kind": "compute#disk", "name": "data-1", "index": 5, "boot": true,
        "selfLink": "https://h/disks/data-1", "deviceName": "ignored", "type": "https://h/zones/z1/diskTypes/pd-balanced",
        "users": ["https://h/instances/vm-a", "https://h/instances/vm-b"], "zone": "https://h/zones/z1",
        "sourceSnapshot": "https://h/global/snapshots/snap", "sourceSnapshotId": "11",
        "sourceImage": "https://h/global/images/img", "sourceImageId": "12",
        "replicaZones": ["https://h/zones/europe-west1-b", "https://h/zones/europe-west1-c"]})");
    EXPECT_EQ(
        "data-1|https://h/disks/"
        "data-1|pd-balanced||0|0|vm-a,vm-b|z1|snap|11|img|12|europe-west1-b,europe-west1-c|0",
        r.name + "|" + r.source + "|" + r.type + "|" + r.deviceName + "|" + std::to_string(r.index) + "|" +
            std::to_string(r.boot) + "|" + Join(r.users) + "|" + r.zone + "|" + r.sourceSnapshot + "|" +
            r.sourceSnapshotId + "|" + r.sourceImage + "|" + r.sourceImageId + "|" + Join(r.replicaZones) +
            "|" + std::to_string(r.isEncrypted));
}

TEST(DiskReader, EncryptionKeyText) {
    const std::pair<std::string, std::string> cases[] = {
        {R"({"kmsKeyName": ")" + kKey + R"(/cryptoKeyVersions/3", "sha256": "h"})", "kmsKeyName:" + kKey},
        // Already the key itself, or too short to carry a version: kept whole.
        {R"({"kmsKeyName": ")" + kKey + R"("})", "kmsKeyName:" + kKey},
        {R"({"kmsKeyName": "keys/k"})", "kmsKeyName:keys/k"},
        {R"({"kmsKeyName": "cryptoKeyVersions/1"})", "kmsKeyName:cryptoKeyVersions/1"},
        {R"({"kmsKeyName": "", "sha256": "aGFzaA==", "rawKey": "r"})", "sha256:aGFzaA=="},
        {R"({"rawKey": "cmF3"})", "rawKey:cmF3"},
        {R"({})", "rawKey:"},
    };
    for (const auto& [key, text] : cases) {
        SDiskInfoLib disk = ReadDisk(R"({"name": "d", "diskEncryptionKey": )" + key + "}");
        EXPECT_TRUE(disk.isEncrypted) << key;
        EXPECT_EQ(text, disk.encryptionKey) << key;
    }
}

TEST(DiskReader, SizeText) {
    // Before is 7: an empty or absent text leaves it; a text that is not a whole decimal number gives 0.
    const std::pair<const char*, int64_t> cases[] = {
        {R"("100")", 100}, {R"("-5")", -5},   {R"("")", 7},
        {"null", 7},       {R"("12abc")", 0}, {R"(" 12")", 0},
        {R"("+12")", 0},   {R"("1.5")", 0},   {R"("99999999999999999999")", 0},
        {"10", 7},
    };
    for (const auto& [value, size] : cases) {
        LogCapture log;
        SDiskInfoLib before;
        before.sizeGb = 7;
        EXPECT_EQ(size, ReadDisk(std::string(R"({"sizeGb": )") + value + "}", before).sizeGb) << value;
        EXPECT_EQ(std::string(value) == "10",
                  log.Has(host::kLogError, "Exception getting value [sizeGb] - value type is 4 not 2"));
    }
}

// The restore reads the disk resource into the record of the instance's attached entry.
TEST(DiskReader, DiskResourceOverAttachedEntry) {
    SDiskInfoLib disk = ReadDisk(R"({"kind": "compute#attachedDisk", "mode": "READ_ONLY", "autoDelete": true,
        "boot": true, "source": "https://h/disks/boot", "licenses": ["L1"], "guestOsFeatures": [{"type": "F1"}]})");
    disk =
        ReadDisk(R"({"kind": "compute#disk", "name": "boot", "mode": "", "autoDelete": false, "sizeGb": "20",
        "licenses": ["L1", "L2"], "guestOsFeatures": [{"type": "F1"}, {"type": "F2"}], "labels": {"b": "2", "a": "1"}})",
                 disk);
    disk = ReadDisk(R"({"kind": "compute#disk", "name": "boot"})", disk);  // absent lists are left alone
    EXPECT_EQ("READ_ONLY|1|1|20|L1,L2|F1,F2|a=1,b=2",
              disk.mode + "|" + std::to_string(disk.autoDelete) + "|" + std::to_string(disk.boot) + "|" +
                  std::to_string(disk.sizeGb) + "|" + Join(disk.licenses) + "|" + Features(disk) + "|" +
                  Join(disk.labels));
}

TEST(DiskFixtures, EveryCaptureParses) {
    for (const std::string& file : mappingtest::Fixtures("compute", {"disk-", "disks-"}))
        EXPECT_EQ(file.find("empty") == std::string::npos,
                  !mappingtest::ParseFixture<SDiskInfoLib>(file, "disks").empty())
            << file;
    for (const std::string& file : mappingtest::Fixtures("compute", {"snapshot"}))
        EXPECT_FALSE(mappingtest::ParseFixture<SSnapshotInfoLib>(file).empty()) << file;
    for (const std::string& file : mappingtest::Fixtures("compute", {"image"}))
        EXPECT_FALSE(mappingtest::ParseFixture<SImageInfoLib>(file).empty()) << file;
    for (const std::string& file : mappingtest::Fixtures("compute", {"disktype"}))
        EXPECT_FALSE(mappingtest::ParseFixture<SDiskTypeInfoLib>(file).empty()) << file;
    for (const std::string& file : mappingtest::Fixtures("compute", {"license"}))
        EXPECT_FALSE(mappingtest::ParseFixture<SLicenseInfoLib>(file).empty()) << file;
}

TEST(DiskFixtures, FieldsARestoreNeeds) {
    using D = const SDiskInfoLib&;
    mappingtest::ExpectFields<SDiskInfoLib>(
        "compute/disks-list-gke-boot.json",
        {{0, [](D d) { return d.name + "|" + d.id + "|" + d.type + "|" + d.zone + "|" + d.status; },
          "gke-gke1-default-pool-5665d797-62lh|7550338177783293118|pd-standard|europe-west1-b|READY"},
         {0, [](D d) { return std::to_string(d.sizeGb) + "|" + d.sourceImage + "|" + Join(d.users); },
          "100|gke-12110-gke2000-cos-89-16108-604-19-v220317-c-pre|gke-gke1-default-pool-5665d797-62lh"},
         {0, [](D d) { return Features(d) + "|" + Join(d.labels) + "|" + d.labelFingerprint; },
          "UEFI_COMPATIBLE,VIRTIO_SCSI_MULTIQUEUE,SEV_CAPABLE,SECURE_BOOT|gcp_doctor_test=gke,goog-gke-node=|"
          "mUgogP08_Iw="},
         {0, [](D d) { return std::to_string(d.licenses.size()) + "|" + d.licenses[1] + "|" + d.mode; },
          "4|https://www.googleapis.com/compute/v1/projects/cos-cloud/global/licenses/cos|"}});
    // Attached entries, as the instance reader hands them over; the entry's "diskSizeGb" is not read.
    mObject list;
    ASSERT_TRUE(ZkJson::Unserialize(
        mappingtest::ReadFixture("compute/instances-list-two-disks-metadata.json"), list));
    std::vector<SDiskInfoLib> attached;
    ASSERT_TRUE(
        CGoogleCloudParser().ConvertNestedList(list["items"].get_array()[0].get_obj(), "disks", attached));
    ASSERT_EQ(2u, attached.size());
    for (const SDiskInfoLib& d : attached)
        EXPECT_EQ(
            d.deviceName + "|" + std::to_string(d.index) + "|" + std::to_string(d.boot) + "|" + d.name + "|" +
                d.type + "|" + d.mode + "|" + std::to_string(d.autoDelete) + "|" + d.interface + "|" +
                std::to_string(d.sizeGb),
            d.index == 0
                ? "boot|0|1|notebooks2instance-ok-boot|PERSISTENT|READ_WRITE|1|SCSI|0"
                : "data-workspace|1|0|notebooks2instance-ok-data-workspace|PERSISTENT|READ_WRITE|1|SCSI|0");
    mappingtest::ExpectFields<SSnapshotInfoLib>(
        "compute/snapshot-negative-source-disk-id.json",
        {{0,
          [](const SSnapshotInfoLib& s) {
              return s.name + "|" + s.sourceDisk + "|" + s.sourceDiskId + "|" + s.creationTimestamp + "|" +
                     std::to_string(s.diskSizeGb) + "|" + Join(s.labels);
          },
          "lcsnapshot|lcdisk|-2511816066479461182|2013-12-16T13:03:51.345-08:00|10|"}});
    mappingtest::ExpectFields<SSnapshotInfoLib>(
        "compute/snapshot-labelled.json",
        {{0, [](const SSnapshotInfoLib& s) { return s.sourceDisk + "|" + Join(s.labels); },
          "c7n-disk-default-d0b4|env=not-the-default,goog-terraform-provisioned=true"}});
    mappingtest::ExpectFields<SImageInfoLib>("compute/image-uefi-shielded.json",
                                             {{0,
                                               [](const SImageInfoLib& i) {
                                                   return i.name + "|" + i.id + "|" + i.status + "|" +
                                                          std::to_string(i.diskSizeGb);
                                               },
                                               "image-1-dev|8832947147558581635|READY|10"}});
    mappingtest::ExpectFields<SDiskTypeInfoLib>(
        "compute/disktype-pd-ssd.json",
        {{0, [](const SDiskTypeInfoLib& t) { return t.name + "|" + t.description + "|" + t.zone; },
          "pd-ssd|SSD Persistent "
          "Disk|https://content.googleapis.com/compute/v1/projects/project_name/zones/us-central1-a"}});
    mappingtest::ExpectFields<SLicenseInfoLib>(
        "compute/license-windows-2008.json",
        {{0, [](const SLicenseInfoLib& l) { return l.name + "|" + l.selfLink; },
          "windows-2008-r2-dc|https://www.googleapis.com/compute/v1/projects/windows-cloud/global/licenses/"
          "windows-2008-r2-dc"}});
}

TEST(DiskWriter, Bodies) {
    const std::string empties = R"("guestOsFeatures":[],"labels":{},"licenses":[],"name":"d")";
    const std::pair<std::function<void(SDiskInfoLib&)>, std::string> cases[] = {
        {[](SDiskInfoLib&) {}, "{" + empties + "}"},
        {[](SDiskInfoLib& d) { d.sizeGb = 200; }, "{" + empties + R"(,"sizeGb":200})"},
        {[](SDiskInfoLib& d) { d.sourceSnapshot = "s", d.sourceImage = "i", d.sourceDisk = "o"; },
         "{" + empties + R"(,"sourceSnapshot":"s"})"},
        {[](SDiskInfoLib& d) { d.sourceImage = "i", d.sourceDisk = "o"; },
         "{" + empties + R"(,"sourceImage":"i"})"},
        {[](SDiskInfoLib& d) { d.sourceDisk = "o"; }, "{" + empties + R"(,"sourceDisk":"o"})"},
        {[](SDiskInfoLib& d) { d.encryptionKey = "sha256:h"; },
         "{" + empties + "}"},                                                 // not flagged encrypted
        {[](SDiskInfoLib& d) { d.isEncrypted = true; }, "{" + empties + "}"},  // no key text
        {[](SDiskInfoLib& d) {
             d.type = "zones/z/diskTypes/pd-ssd", d.description = "desc", d.labelFingerprint = "fp";
             d.labels = {{"b", "2"}, {"a", "1"}, {"b", "3"}};
             d.licenses = {"L1", "L2"}, d.replicaZones = {"zones/z1", "zones/z2"};
             d.isEncrypted = true, d.encryptionKey = "kmsKeyName:" + kKey;
             d.guestOsFeatures.guestOsFeatures = {"UEFI_COMPATIBLE", "GVNIC"}, d.interface = "NVME";
             d.mode = "READ_WRITE", d.boot = true, d.users = {"vm"};  // attachment data: not in a disk body
         },
         R"({"description":"desc","diskEncryptionKey":{"kmsKeyName":")" + kKey +
             R"("},"guestOsFeatures":[{"type":"UEFI_COMPATIBLE"},{"type":"GVNIC"}],"interface":"NVME",)"
             R"("labelFingerprint":"fp","labels":{"a":"1","b":"3"},"licenses":["L1","L2"],"name":"d",)"
             R"("replicaZones":["zones/z1","zones/z2"],"type":"zones/z/diskTypes/pd-ssd"})"},
    };
    CGoogleCloudParser parser;
    for (const auto& [fill, expected] : cases) {
        SDiskInfoLib disk;
        disk.name = "d";
        fill(disk);
        std::string body;
        ASSERT_TRUE(parser.GetRequestBody(disk, body));
        EXPECT_EQ(expected, body);
    }
    // A disk read back with its key version gets the key itself.
    SDiskInfoLib read = ReadDisk(R"({"name": "d", "diskEncryptionKey": {"kmsKeyName": ")" + kKey +
                                 R"(/cryptoKeyVersions/1"}})");
    std::string body;
    ASSERT_TRUE(parser.GetRequestBody(read, body));
    EXPECT_EQ(R"({"diskEncryptionKey":{"kmsKeyName":")" + kKey + R"("},)" + empties + "}", body);
}

TEST(DiskWriter, KeyTextThatCannotBeSplitFailsTheBody) {
    CGoogleCloudParser parser;
    for (const char* key : {"no-separator", "rawKey:"}) {
        LogCapture log;
        SDiskInfoLib disk;
        disk.name = "d";
        disk.isEncrypted = true;
        disk.encryptionKey = key;
        std::string body = "untouched";
        EXPECT_FALSE(parser.GetRequestBody(disk, body)) << key;
        EXPECT_EQ("untouched", body);
        EXPECT_TRUE(log.Mentions("Disk [d]")) << log.Dump();
        EXPECT_FALSE(log.Mentions(key)) << log.Dump();  // a raw key is a secret
    }
}

TEST(SnapshotWriter, BodyAndBootDiskOrder) {
    CGoogleCloudParser parser;
    SSnapshotInfoLib snapshot;
    snapshot.name = "s";
    snapshot.sourceDisk = "not written";
    std::string body;
    ASSERT_TRUE(parser.GetRequestBody(snapshot, body));
    EXPECT_EQ(R"({"description":"","guestFlush":false,"labels":{},"name":"s"})", body);
    snapshot.description = "nightly";
    snapshot.guestFlush = true;
    snapshot.labels = {{"x", "1"}, {"a", "2"}};
    ASSERT_TRUE(parser.GetRequestBody(snapshot, body));
    EXPECT_EQ(R"({"description":"nightly","guestFlush":true,"labels":{"a":"2","x":"1"},"name":"s"})", body);

    std::vector<SDiskInfoLib> disks(3);
    disks[1].boot = true;
    disks[1].name = "boot";
    std::stable_sort(disks.begin(), disks.end(), SDiskInfoLib::OSdiskSort);
    EXPECT_EQ("boot", disks[0].name);
}

}  // namespace
