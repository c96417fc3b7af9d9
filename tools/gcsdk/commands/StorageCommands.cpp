// buckets list, bucket create, objects list, object get (a VM configuration kept in a bucket).
#include <algorithm>
#include <ostream>

#include "Session.h"
#include "cli/Output.h"
#include "commands/Commands.h"
#include "commands/Common.h"
#include "host/Settings.h"

namespace gcsdk {

namespace {

using GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper;
using GoogleCloudSDKWrapper::SStorageBucketInfoLib;
using GoogleCloudSDKWrapper::SStorageObjectItemInfoLib;
using GoogleCloudSDKWrapper::SStorageObjectsInfoLib;

int RunBucketsList(const Invocation& invocation) {
    if (int status = RequireOptions(invocation, {"project"})) return status;
    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;

    const std::string project = invocation.args.Value("project");
    std::vector<SStorageBucketInfoLib> buckets;
    const bool listed = cloud->GetStorageBuckets(project, buckets);
    if (!session.Listed(listed, buckets.empty()))
        return session.Fail("listing the buckets of project " + project);
    std::sort(buckets.begin(), buckets.end(),
              [](const SStorageBucketInfoLib& a, const SStorageBucketInfoLib& b) { return a.name < b.name; });
    return PrintList<SStorageBucketInfoLib>(
        invocation, buckets, "buckets", {"NAME", "LOCATION"},
        [](const SStorageBucketInfoLib& b) -> std::vector<std::string> {
            return {b.name, b.location};
        },
        [](const SStorageBucketInfoLib& b) {
            return json_spirit::mObject{{"name", b.name}, {"id", b.id}, {"location", b.location}};
        });
}

int RunBucketCreate(const Invocation& invocation) {
    if (int status = RequireOptions(invocation, {"project", "name"})) return status;
    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;

    const std::string project = invocation.args.Value("project"), bucket = invocation.args.Value("name");
    if (!cloud->CreateBucket(project, bucket))
        return session.Fail("creating bucket " + bucket + " in project " + project);
    // The library looks for the bucket first and inserts it only when it is not there.
    const bool created = session.Answered("https://" + host::settings::Read(host::settings::kStorageHost) +
                                          "/storage/v1/b?project=");
    Say(invocation,
        "bucket " + bucket + (created ? " created in project " + project : " found: it was there"));
    if (invocation.Json())
        PrintJson(invocation,
                  json_spirit::mObject{{"bucket", bucket}, {"exists", true}, {"created", created}});
    return kExitOk;
}

int RunObjectsList(const Invocation& invocation) {
    if (int status = RequireOptions(invocation, {"bucket"})) return status;
    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;

    const ParsedArguments& args = invocation.args;
    const std::string bucket = args.Value("bucket");
    SStorageObjectsInfoLib objects;
    const bool listed =
        cloud->GetStorageObjects(bucket, args.Value("delimiter"), args.Value("prefix"), objects);
    if (!session.Listed(listed, objects.items.empty() && objects.prefixes.empty()))
        return session.Fail("listing the objects of bucket " + bucket);

    if (invocation.Json()) {
        json_spirit::mArray items;
        for (const SStorageObjectItemInfoLib& item : objects.items)
            items.push_back(
                json_spirit::mObject{{"name", item.name}, {"id", item.id}, {"bucket", item.bucket}});
        PrintJson(invocation, json_spirit::mObject{{"prefixes", json_spirit::mArray(objects.prefixes.begin(),
                                                                                    objects.prefixes.end())},
                                                   {"objects", items}});
        return kExitOk;
    }
    // The "folders" under the delimiter first, then the objects.
    Table table({"NAME", "KIND"});
    for (const std::string& prefix : objects.prefixes) table.AddRow({prefix, "prefix"});
    for (const SStorageObjectItemInfoLib& item : objects.items) table.AddRow({item.name, "object"});
    PrintTable(invocation, table, "objects");
    return kExitOk;
}

int RunObjectGet(const Invocation& invocation) {
    if (int status = RequireOptions(invocation, {"project", "bucket", "object"})) return status;
    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;

    const ParsedArguments& args = invocation.args;
    const std::string bucket = args.Value("bucket"), object = args.Value("object");
    std::string json;
    if (!cloud->DownloadVMInfoFromBucket(args.Value("project"), bucket, object, json))
        return session.Fail("reading the VM configuration " + object + " of bucket " + bucket,
                            "object " + object + " of bucket " + bucket + " is not a VM configuration");
    if (args.Has("output")) {
        std::string error;
        if (!WriteTextFile(args.Value("output"), json, error)) return Complain(invocation, error);
        Say(invocation, "wrote " + args.Value("output"));
        return kExitOk;
    }
    // What the bucket holds, escape sequences included, is not for a terminal.
    if (invocation.outIsTerminal) json = TerminalSafeText(json);
    invocation.out << json << (json.empty() || json.back() != '\n' ? "\n" : "");
    invocation.out.flush();
    return kExitOk;
}

}  // namespace

void AddStorageCommands(Registry& registry) {
    Command buckets;
    buckets.name = "buckets list";
    buckets.summary = "List the Cloud Storage buckets of a project";
    buckets.usage = "--project P";
    buckets.options = {kProjectIdOption};
    buckets.run = RunBucketsList;
    registry.Add(std::move(buckets));

    Command create;
    create.name = "bucket create";
    create.summary = "Create a bucket, or find it there already (says which)";
    create.usage = "--project P --name B";
    create.options = {kProjectIdOption, {"name", "B", "the bucket's name"}};
    create.run = RunBucketCreate;
    registry.Add(std::move(create));

    Command objects;
    objects.name = "objects list";
    objects.summary = "List the objects of a bucket";
    objects.usage = "--bucket B [--prefix PFX] [--delimiter D]";
    objects.description =
        "With a delimiter ('/'), names under a deeper \"folder\" are listed once, as a prefix.";
    objects.options = {{"bucket", "B", "the bucket"},
                       {"prefix", "PFX", "only names that start with this"},
                       {"delimiter", "D", "list the names up to this character as prefixes"}};
    objects.run = RunObjectsList;
    registry.Add(std::move(objects));

    Command get;
    get.name = "object get";
    get.summary = "Print a VM configuration kept in a bucket by 'restore --later'";
    get.usage = "--project P --bucket B --object O [--output FILE]";
    get.description =
        "The library downloads objects only as VM configurations: an object that is not one is refused.\n"
        "There is no download of other objects.";
    get.options = {kProjectIdOption,
                   {"bucket", "B", "the bucket"},
                   {"object", "O", "the object's name"},
                   {"output", "FILE", "write it to FILE (readable by its owner only) instead of printing it"}};
    get.run = RunObjectGet;
    registry.Add(std::move(get));
}

}  // namespace gcsdk
