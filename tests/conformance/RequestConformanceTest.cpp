// Every request the library sent during the emulator-backed tests, checked against Google's discovery
// documents: the method and path match a declared method, every query parameter is one it declares (or
// a standard one), and every body member is one its request schema declares. Where the library sends
// something the documents lack on purpose, the exception is listed below with its reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "host/ZkJson.h"
#include "tests/support/DiscoverySchema.h"

namespace {

using testsupport::DiscoveryDocument;
using testsupport::DiscoveryMethod;

struct KnownException {
    const char* where;  // method id, or "" for a path exception
    const char* what;   // the departing parameter, body member path or path
    const char* reason;
};

const KnownException kKnownExceptions[] = {
    {"", "GET projects/{project}/",
     "the project resource is read with an empty relative path, which leaves a trailing slash"},
    {"compute.regionDisks.createSnapshot", "?guestFlush",
     "guest flush is asked the same way for regional disks as for zonal ones"},
    {"compute.instances.insert", "disks[].name", "each attached disk is named in the instance body"},
    {"compute.disks.insert", "interface", "the disk body carries the interface of the disk it restores"},
    {"compute.regionDisks.insert", "interface",
     "the disk body carries the interface of the disk it restores"},
    {"compute.disks.createSnapshot", "guestFlush", "the snapshot body carries the guest-flush flag"},
    {"compute.regionDisks.createSnapshot", "guestFlush", "the snapshot body carries the guest-flush flag"},
    {"compute.snapshots.insert", "guestFlush", "the snapshot body carries the guest-flush flag"},
};

bool IsKnown(const std::string& where, const std::string& what) {
    for (const auto& known : kKnownExceptions)
        if (where == known.where && what == known.what) return true;
    return false;
}

struct Api {
    const char* host;
    const char* pathPrefix;  // how the request path begins
    const char* document;
};

// Which discovery document describes a request, by host and the start of its path. The part of the
// path a method template is matched against follows the document's service path.
const Api kApis[] = {
    {"compute.googleapis.com", "/compute/v1/", "compute.v1.json"},
    {"www.googleapis.com", "/compute/v1/", "compute.v1.json"},
    {"cloudresourcemanager.googleapis.com", "/v1/", "cloudresourcemanager.v1.json"},
    {"sqladmin.googleapis.com", "/", "sqladmin.v1beta4.json"},
    {"cloudkms.googleapis.com", "/v1/", "cloudkms.v1.json"},
    {"spanner.googleapis.com", "/v1/", "spanner.v1.json"},
    {"dataflow.googleapis.com", "/v1b3/", "dataflow.v1b3.json"},
    {"storage.googleapis.com", "/storage/v1/", "storage.v1.json"},
    {"storage.googleapis.com", "/upload/storage/v1/", "storage.v1.json"},
    {"www.googleapis.com", "/storage/v1/", "storage.v1.json"},
    {"www.googleapis.com", "/upload/storage/v1/", "storage.v1.json"},
};

struct Entry {
    std::string method, host, path, body;
    std::vector<std::string> parameters;
};

std::vector<Entry> ReadJournal(const std::string& file) {
    std::vector<Entry> entries;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        json_spirit::mObject object;
        if (!ZkJson::Unserialize(line, object)) continue;
        Entry entry;
        entry.method = ZkJson::GetStringValue(object, "method");
        entry.host = ZkJson::GetStringValue(object, "host");
        entry.path = ZkJson::GetStringValue(object, "path");
        entry.body = ZkJson::GetStringValue(object, "body");
        if (const json_spirit::mObject* params = ZkJson::FindObject(object, "params"))
            for (const auto& [name, value] : *params) entry.parameters.push_back(name);
        entries.push_back(entry);
    }
    return entries;
}

class Documents {
public:
    const DiscoveryDocument& Get(const std::string& name) {
        auto found = m_loaded.find(name);
        if (found != m_loaded.end()) return found->second;
        DiscoveryDocument& document = m_loaded[name];
        std::string error;
        EXPECT_TRUE(document.Load(std::string(GCSDK_DISCOVERY_DIR) + "/" + name, &error)) << error;
        return document;
    }

private:
    std::map<std::string, DiscoveryDocument> m_loaded;
};

// An object's bytes are read from the storage host's plain bucket/object path, outside the JSON API
// and its discovery document.
bool IsStorageMediaDownload(const Entry& entry) {
    return entry.method == "GET" && entry.host == "storage.googleapis.com" &&
           entry.path.rfind("/storage/", 0) != 0 && entry.path.rfind("/upload/", 0) != 0;
}

// Requests that are not API calls: the sign-in, and the emulator's own control API.
bool IsOutsideTheApis(const Entry& entry) {
    return entry.host == "localhost" || entry.host == "127.0.0.1" || entry.path.rfind("/oauth2/", 0) == 0 ||
           entry.path == "/token";
}

// What the requests departed from: what -> example requests; and the API methods they called.
struct Findings {
    std::map<std::string, std::set<std::string>> violations;
    std::set<std::string> methodsSeen;
    size_t checked = 0;

    std::string Summary() const {
        std::string summary;
        for (const auto& [what, requests] : violations)
            summary += what + "  (" + std::to_string(requests.size()) + " requests, e.g. " +
                       *requests.begin() + ")\n";
        return summary;
    }
};

void Check(const Entry& entry, Documents& documents, Findings& findings) {
    auto& violations = findings.violations;
    if (IsOutsideTheApis(entry)) return;
    const Api* api = nullptr;
    for (const Api& candidate : kApis)
        if (entry.host == candidate.host && entry.path.rfind(candidate.pathPrefix, 0) == 0) api = &candidate;
    std::string request = entry.method + " " + entry.host + entry.path;
    if (!api) {
        if (IsStorageMediaDownload(entry)) return;
        violations["no API serves " + entry.host + " at this path"].insert(request);
        return;
    }
    ++findings.checked;
    const DiscoveryDocument& document = documents.Get(api->document);
    // Media uploads go to "/upload" + the service path; the method is the one without it.
    std::string path = entry.path.rfind("/upload/", 0) == 0 ? entry.path.substr(7) : entry.path;
    std::string relative = path.substr(1 + document.ServicePath().size());
    std::optional<DiscoveryMethod> method = document.MatchPath(entry.method, relative);
    if (!method && relative.size() > 1 && relative.back() == '/') {
        std::optional<DiscoveryMethod> withoutSlash =
            document.MatchPath(entry.method, relative.substr(0, relative.size() - 1));
        if (withoutSlash && IsKnown("", entry.method + " " + withoutSlash->path + "/")) return;
    }
    if (!method) {
        violations["no declared method for " + entry.method + " " + relative.substr(0, 60)].insert(request);
        return;
    }
    findings.methodsSeen.insert(method->id);

    std::vector<std::string> allowed = method->queryParameters;
    for (const std::string& standard : document.StandardParameters()) allowed.push_back(standard);
    for (const std::string& parameter : entry.parameters) {
        if (std::find(allowed.begin(), allowed.end(), parameter) != allowed.end()) continue;
        if (IsKnown(method->id, "?" + parameter)) continue;
        violations[method->id + ": undeclared query parameter " + parameter].insert(request);
    }

    // A media upload's body is the object's bytes, not the resource the schema describes.
    bool mediaUpload = entry.path.rfind("/upload/", 0) == 0;
    if (method->requestSchema.empty() || entry.body.empty() || mediaUpload) return;
    testsupport::SchemaReport report = document.CheckBody(entry.body, method->requestSchema);
    for (const std::string& key : report.unknownKeys)
        if (!IsKnown(method->id, key))
            violations[method->id + ": body member " + key + " not in " + method->requestSchema].insert(
                request);
    for (const std::string& wrong : report.wrongTypes) violations[method->id + ": " + wrong].insert(request);
}

TEST(RequestConformance, EveryRequestMatchesTheDiscoveryDocuments) {
    const char* file = std::getenv("GCEMU_JOURNAL_FILE");
    if (!file || !*file) GTEST_SKIP() << "GCEMU_JOURNAL_FILE is not set";
    std::vector<Entry> entries = ReadJournal(file);
    if (entries.empty()) GTEST_SKIP() << "no emulator-backed test ran";

    Documents documents;
    Findings findings;
    for (const Entry& entry : entries) Check(entry, documents, findings);
    EXPECT_TRUE(findings.violations.empty()) << findings.Summary();
    std::cout << "checked " << findings.checked << " requests of " << findings.methodsSeen.size()
              << " API methods\n";
}

// Cloud KMS requests, as the library sends them, reach the KMS document's methods (its service path is
// empty and its paths begin with the version), and what departs from it is caught.
TEST(RequestConformance, KmsRequestsAreCheckedAgainstTheKmsDocument) {
    const std::string ring = "/v1/projects/p1/locations/us-central1/keyRings/ring";
    const auto kms = [](const std::string& method, const std::string& path,
                        std::vector<std::string> parameters, const std::string& body) {
        return Entry{method, "cloudkms.googleapis.com", path, body, std::move(parameters)};
    };
    const Entry library[] = {
        kms("GET", ring, {}, ""),
        kms("GET", ring + "/cryptoKeys/key", {}, ""),
        kms("POST", "/v1/projects/p1/locations/us-central1/keyRings", {"keyRingId"}, ""),
        kms("POST", ring + "/cryptoKeys", {"cryptoKeyId"},
            R"({"purpose":"ENCRYPT_DECRYPT","rotationPeriod":"7776000s","nextRotationTime":"2027-03-09T12:00:00Z",)"
            R"("versionTemplate":{"algorithm":"GOOGLE_SYMMETRIC_ENCRYPTION","protectionLevel":"SOFTWARE"}})"),
        kms("PATCH", ring + "/cryptoKeys/key", {"updateMask"},
            R"({"rotationPeriod":"7776000s","nextRotationTime":"2027-03-09T12:00:00Z"})"),
    };
    Documents documents;
    Findings findings;
    for (const Entry& entry : library) Check(entry, documents, findings);
    EXPECT_TRUE(findings.violations.empty()) << findings.Summary();
    EXPECT_EQ(findings.methodsSeen,
              (std::set<std::string>{"cloudkms.projects.locations.keyRings.create",
                                     "cloudkms.projects.locations.keyRings.get",
                                     "cloudkms.projects.locations.keyRings.cryptoKeys.create",
                                     "cloudkms.projects.locations.keyRings.cryptoKeys.get",
                                     "cloudkms.projects.locations.keyRings.cryptoKeys.patch"}));

    const Entry departing[] = {
        kms("POST", ring + "/cryptoKeys", {"cryptoKeyId"},
            R"({"purpose":"ENCRYPT_DECRYPT","rotation":"90d"})"),
        kms("POST", ring + "/cryptoKeys", {"keyId"}, R"({"purpose":"ENCRYPT_DECRYPT"})"),
        kms("PATCH", ring + "/cryptoKeys/key", {"updateMask"}, R"({"versionTemplate":{"protection":"HSM"}})"),
        kms("DELETE", ring + "/cryptoKeys/key", {}, ""),
    };
    for (const Entry& entry : departing) {
        SCOPED_TRACE(entry.method + " " + entry.path + " " + entry.body);
        Findings found;
        Check(entry, documents, found);
        EXPECT_EQ(1u, found.violations.size()) << found.Summary();
    }
}

// The Cloud SQL Admin, Cloud Spanner and Dataflow requests the library sends for database backups reach
// their documents' methods, and what departs from them is caught.
TEST(RequestConformance, DatabaseRequestsAreCheckedAgainstTheirDocuments) {
    const auto request = [](const char* host, const std::string& method, const std::string& path,
                            std::vector<std::string> parameters, const std::string& body) {
        return Entry{method, host, path, body, std::move(parameters)};
    };
    const std::string sql = "/sql/v1beta4/projects/p1/instances";
    const std::string instance = "/v1/projects/p1/instances/orders";
    const std::string launch = "/v1b3/projects/p1/locations/us-central1/templates:launch";
    const char* kSql = "sqladmin.googleapis.com";
    const char* kSpanner = "spanner.googleapis.com";
    const char* kDataflow = "dataflow.googleapis.com";
    const Entry library[] = {
        request(kSql, "GET", sql, {}, ""),
        request(kSql, "GET", sql, {"pageToken"}, ""),
        request(kSpanner, "GET", "/v1/projects/p1/instanceConfigs/regional-us-central1", {}, ""),
        request(kSpanner, "GET", "/v1/projects/p1/instances", {"pageToken"}, ""),
        request(kSpanner, "GET", instance + "/databases", {"pageToken"}, ""),
        request(kSpanner, "POST", instance + "/databases", {},
                R"({"createStatement":"CREATE DATABASE `orders_2024`"})"),
        request(kSpanner, "GET", instance + "/databases/orders_2024/operations/_auto_op_0123456789abcdef", {},
                ""),
        request(
            kDataflow, "POST", launch, {"gcsPath"},
            R"({"jobName":"cloud-spanner-export-orders-orders-2024","parameters":{"databaseId":"orders_2024",)"
            R"("instanceId":"orders","outputDir":"gs://b/f/"}})"),
        request(kDataflow, "GET", "/v1b3/projects/p1/locations/us-central1/jobs/2024-06-19_09_43_07-1234", {},
                ""),
    };
    Documents documents;
    Findings findings;
    for (const Entry& entry : library) Check(entry, documents, findings);
    EXPECT_TRUE(findings.violations.empty()) << findings.Summary();
    EXPECT_EQ(
        findings.methodsSeen,
        (std::set<std::string>{
            "sql.instances.list", "spanner.projects.instanceConfigs.get", "spanner.projects.instances.list",
            "spanner.projects.instances.databases.list", "spanner.projects.instances.databases.create",
            "spanner.projects.instances.databases.operations.get",
            "dataflow.projects.locations.templates.launch", "dataflow.projects.locations.jobs.get"}));

    const Entry departing[] = {
        request(kSql, "GET", sql, {"pageSize"}, ""),
        request(kSpanner, "GET", "/v1/projects/p1/instances", {"maxResults"}, ""),
        request(kSpanner, "POST", instance + "/databases", {}, R"({"statement":"CREATE DATABASE d"})"),
        request(kDataflow, "POST", launch, {"template"}, R"({"jobName":"j"})"),
        request(kDataflow, "POST", launch, {"gcsPath"}, R"({"job_name":"j"})"),
        request(kDataflow, "GET", "/v1b3/projects/p1/locations/us-central1/jobs", {"job"}, ""),
    };
    for (const Entry& entry : departing) {
        SCOPED_TRACE(entry.method + " " + entry.path + " " + entry.body);
        Findings found;
        Check(entry, documents, found);
        EXPECT_EQ(1u, found.violations.size()) << found.Summary();
    }
}

}  // namespace
