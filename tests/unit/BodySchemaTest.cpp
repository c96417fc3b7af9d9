// The request bodies the library writes, checked against Google's discovery documents: every key a
// writer can emit must be one the API declares, except the few listed here with their reasons.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "GoogleCloudParser/CGoogleCloudParser.h"
#include "tests/support/DiscoverySchema.h"

using namespace GoogleCloudSDKWrapper;
using testsupport::DiscoveryDocument;
using testsupport::SchemaReport;
using Keys = std::vector<std::string>;

namespace {

const DiscoveryDocument& Load(const std::string& file) {
    static std::map<std::string, DiscoveryDocument> documents;
    auto found = documents.find(file);
    if (found == documents.end()) {
        std::string error;
        found = documents.emplace(file, DiscoveryDocument()).first;
        EXPECT_TRUE(found->second.Load(std::string(GCSDK_DISCOVERY_DIR) + "/" + file, &error)) << error;
    }
    return found->second;
}

const DiscoveryDocument& Compute() {
    return Load("compute.v1.json");
}

// The request schema of the method that posts the body, so a body is checked against what its
// method takes rather than a name picked by hand.
std::string RequestSchema(const std::string& pathTemplate) {
    auto method = Compute().FindMethod("POST", pathTemplate);
    EXPECT_TRUE(method.has_value()) << pathTemplate;
    return method ? method->requestSchema : std::string();
}

TEST(DiscoverySchemaTest, ChecksKeysAndTypesThroughRefsItemsAndMaps) {
    struct Case {
        const char* schema;
        const char* body;
        Keys unknown, wrongTypes, outputOnly;
    } cases[] = {
        {"Instance", R"({"name":"a","tags":{"items":["x"]},"labels":{"k":"v"}})", {}, {}, {}},
        {"Instance", R"({"tags":{"item":[]},"nam":"a"})", {"nam", "tags.item"}, {}, {}},
        {"Instance",
         R"({"disks":[{"boot":true},{"initializeParams":{"sourceImag":"x"}}]})",
         {"disks[].initializeParams.sourceImag"},
         {},
         {}},
        {"Instance",
         R"({"metadata":{"items":[{"key":"k","val":"v"},{"key":"k2","val":"v"}]}})",
         {"metadata.items[].val"},
         {},
         {}},
        {"Instance",
         R"({"labels":{"a":1},"tags":[],"canIpForward":"no","scheduling":{"nodeAffinities":[{"values":"v"}]}})",
         {},
         {"canIpForward: string where the schema wants boolean",
          "labels.a: integer where the schema wants string",
          "scheduling.nodeAffinities[].values: string where the schema wants array",
          "tags: array where the schema wants object"},
         {}},
        {"Instance", R"({"id":"1","status":"RUNNING","zone":"z"})", {}, {}, {"id", "status", "zone"}},
        // 64-bit integers are declared as strings; the API also reads numbers for them.
        {"Disk", R"({"sizeGb":10})", {}, {}, {}},
        {"Disk",
         R"({"sizeGb":"10","diskEncryptionKey":{"sha256":"h"}})",
         {},
         {},
         {"diskEncryptionKey.sha256"}},
        {"Disk", R"({"sizeGb":1.5})", {}, {"sizeGb: number where the schema wants string"}, {}},
        {"NoSuchSchema", "{}", {}, {": no schema named NoSuchSchema"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        SchemaReport report = Compute().CheckBody(std::string(c.body), c.schema);
        EXPECT_EQ(c.unknown, report.unknownKeys);
        EXPECT_EQ(c.wrongTypes, report.wrongTypes);
        EXPECT_EQ(c.outputOnly, report.outputOnlyKeys);
    }
    EXPECT_EQ(Keys{": body is not a JSON object"},
              Compute().CheckBody(std::string("[1]"), "Instance").wrongTypes);
    DiscoveryDocument missing;
    EXPECT_FALSE(missing.Load("/nonexistent/compute.json"));
}

TEST(DiscoverySchemaTest, FindsMethodsByTemplateAndByConcretePath) {
    EXPECT_EQ("https://compute.googleapis.com/", Compute().RootUrl());
    EXPECT_EQ("compute/v1/", Compute().ServicePath());
    struct Case {
        const char* document;
        const char* httpMethod;
        const char* path;
        const char* id;  // empty: no method
    } cases[] = {
        {"compute.v1.json", "POST", "projects/p/zones/us-central1-a/instances", "compute.instances.insert"},
        {"compute.v1.json", "GET", "projects/p/zones/us-central1-a/instances/vm", "compute.instances.get"},
        {"compute.v1.json", "GET", "projects/p/aggregated/instances?maxResults=5",
         "compute.instances.aggregatedList"},
        {"compute.v1.json", "POST", "projects/p/regions/r/disks/d/setLabels",
         "compute.regionDisks.setLabels"},
        {"compute.v1.json", "PUT", "projects/p/zones/z/instances", ""},
        {"spanner.v1.json", "GET", "v1/projects/p/instances/i/databases/d",
         "spanner.projects.instances.databases.get"},
        {"spanner.v1.json", "POST", "v1/projects/p/instances/i/databases:restore",
         "spanner.projects.instances.databases.restore"},
    };
    for (const Case& c : cases) {
        auto method = Load(c.document).MatchPath(c.httpMethod, c.path);
        EXPECT_EQ(c.id, method ? method->id : std::string()) << c.path;
    }
    auto setLabels =
        Compute().FindMethod("POST", "projects/{project}/zones/{zone}/disks/{resource}/setLabels");
    ASSERT_TRUE(setLabels.has_value());
    EXPECT_EQ("compute.disks.setLabels", setLabels->id);
    EXPECT_EQ("ZoneSetLabelsRequest", setLabels->requestSchema);
    EXPECT_EQ("Operation", setLabels->responseSchema);
}

// Every key the instance writer can emit: all optional parts present and every condition met.
SVMInfoLib FullVm() {
    SVMInfoLib vm;
    vm.name = "vm1";
    vm.zone = "us-central1-a";
    vm.machineType = "zones/us-central1-a/machineTypes/e2-small";
    vm.deletionProtection = true;
    vm.description = "d";
    SDiskInfoLib disk;
    disk.name = "boot";
    disk.source = "zones/us-central1-a/disks/boot";
    disk.mode = "READ_WRITE";
    disk.autoDelete = disk.boot = true;
    disk.sourceImage = "global/images/i";
    disk.interface = "NVME";
    disk.guestOsFeatures.guestOsFeatures = {"UEFI_COMPATIBLE"};
    vm.disks = {disk};
    SNetworkInterfaceInfoLib nic;
    nic.network = "global/networks/n";
    nic.subnetwork = "regions/us-central1/subnetworks/s";
    nic.networkIP = "10.0.0.2";
    nic.accessConfigs = {{"ONE_TO_ONE_NAT", "External NAT", "1.2.3.4"}};
    vm.networkInterfaces = {nic};
    vm.tags = {"web"};
    vm.metadata = {{"k", "v"}};
    vm.labels = {{"env", "dev"}};
    vm.serviceAccounts = {
        {"sa@p.iam.gserviceaccount.com", {"https://www.googleapis.com/auth/cloud-platform"}}};
    vm.scheduling.onHostMaintenance = "MIGRATE";
    vm.scheduling.nodeAffinities = {{"k", "IN", {"v"}}};
    vm.displayDevice.enableDisplay = true;
    vm.confidentialInstanceConfig.enableConfidentialCompute = true;
    return vm;
}

// Every key the disk writer can emit; the source and the key type vary, one per disk.
std::vector<SDiskInfoLib> FullDisks() {
    SDiskInfoLib disk;
    disk.name = "d1";
    disk.sizeGb = 10;
    disk.type = "zones/us-central1-a/diskTypes/pd-ssd";
    disk.description = "d";
    disk.labels = {{"env", "dev"}};
    disk.labelFingerprint = "42WmSpB8rSM=";
    disk.licenses = {"projects/debian-cloud/global/licenses/debian-11-bullseye"};
    disk.replicaZones = {"zones/us-central1-a", "zones/us-central1-b"};
    disk.guestOsFeatures.guestOsFeatures = {"UEFI_COMPATIBLE"};
    disk.interface = "SCSI";
    disk.isEncrypted = true;
    std::vector<SDiskInfoLib> disks(3, disk);
    disks[0].sourceSnapshot = "global/snapshots/s";
    disks[0].encryptionKey = "kmsKeyName:projects/p/locations/l/keyRings/r/cryptoKeys/k";
    disks[1].sourceImage = "global/images/i";
    disks[1].encryptionKey = "rawKey:SGVsbG8gZnJvbSBHb29nbGUgQ2xvdWQgUGxhdGZvcm0=";
    disks[2].sourceDisk = "zones/us-central1-a/disks/src";
    disks[2].encryptionKey = "sha256:a1b2";
    return disks;
}

template <typename Record>
SchemaReport Check(Record& record, const std::string& schema) {
    CGoogleCloudParser parser;
    std::string body;
    EXPECT_TRUE(parser.GetRequestBody(record, body));
    EXPECT_FALSE(schema.empty());
    SCOPED_TRACE(body);
    SchemaReport report = Compute().CheckBody(body, schema);
    EXPECT_EQ(Keys{}, report.wrongTypes) << body;
    return report;
}

// A body key that is not declared is either an error or something the API ignores; each one the
// writers emit is listed here with why it stays.
TEST(BodySchemaTest, InstanceBody) {
    SVMInfoLib vm = FullVm();
    SchemaReport report = Check(vm, RequestSchema("projects/{project}/zones/{zone}/instances"));
    // disks[].name: an attached disk has no name (deviceName is its name in the guest); the API ignores it.
    EXPECT_EQ(Keys{"disks[].name"}, report.unknownKeys);
    // zone is declared but output-only: the zone is the request path's; the body's copy is ignored.
    EXPECT_EQ(Keys{"zone"}, report.outputOnlyKeys);
}

TEST(BodySchemaTest, DiskBodies) {
    for (SDiskInfoLib& disk : FullDisks()) {
        SCOPED_TRACE(disk.encryptionKey);
        SchemaReport report = Check(disk, RequestSchema("projects/{project}/zones/{zone}/disks"));
        // interface: not a Disk property (it belongs to the attached disk), so the API ignores it.
        EXPECT_EQ(Keys{"interface"}, report.unknownKeys);
        // sha256 is only the hash the API reports for a customer-supplied key: a disk cannot be created
        // from it, the key itself (rawKey or rsaEncryptedKey) is needed.
        EXPECT_EQ(disk.encryptionKey.rfind("sha256:", 0) == 0 ? Keys{"diskEncryptionKey.sha256"} : Keys{},
                  report.outputOnlyKeys);
    }
}

TEST(BodySchemaTest, SnapshotBody) {
    SSnapshotInfoLib snapshot;
    snapshot.name = "s1";
    snapshot.description = "d";
    snapshot.guestFlush = true;
    snapshot.labels = {{"env", "dev"}};
    snapshot.sourceDisk = "d1";  // not written
    // guestFlush: the API takes it as a query parameter of createSnapshot, not as a Snapshot member.
    for (const char* path : {"projects/{project}/zones/{zone}/disks/{disk}/createSnapshot",
                             "projects/{project}/global/snapshots"}) {
        SchemaReport report = Check(snapshot, RequestSchema(path));
        EXPECT_EQ(Keys{"guestFlush"}, report.unknownKeys) << path;
        EXPECT_EQ(Keys{}, report.outputOnlyKeys) << path;
    }
}

TEST(BodySchemaTest, DiskLabelsBody) {
    SLabelInfoLib labels;
    labels.labels = {{"env", "dev"}, {"app", "x"}};
    labels.labelFingerprint = "42WmSpB8rSM=";
    for (const char* path : {"projects/{project}/zones/{zone}/disks/{resource}/setLabels",
                             "projects/{project}/regions/{region}/disks/{resource}/setLabels"}) {
        SchemaReport report = Check(labels, RequestSchema(path));
        EXPECT_EQ(Keys{}, report.unknownKeys) << path;
        EXPECT_EQ(Keys{}, report.outputOnlyKeys) << path;
    }
}

}  // namespace
