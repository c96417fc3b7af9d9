// What the command groups share: the checks of their options, and records as tables and JSON.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "GoogleCloudSDKWrapper/Records.h"
#include "cli/Command.h"
#include "cli/Labels.h"
#include "host/json/JsonValue.h"

namespace gcsdk {

// --project P, as most commands take it.
inline const Option kProjectIdOption{"project", "P", "project id"};

// --instance I of the Spanner commands.
inline const Option kSpannerInstanceOption{"instance", "I", "the Spanner instance"};

// --zone Z or --region R: where a disk lives.
struct DiskLocation {
    std::string zone;
    std::string region;
    bool regional = false;

    std::string Describe() const { return regional ? "region " + region : "zone " + zone; }
};

// A usage error naming every missing option, or kExitOk when all were given.
int RequireOptions(const Invocation& invocation, std::initializer_list<const char*> names);
// A usage error unless the option's value is a Compute Engine name; kExitOk otherwise.
int RequireResourceName(const Invocation& invocation, const char* option);
// A usage error unless each of --project, --instance, --database, --config, --location and --bucket that
// was given is well formed (a project id, Spanner ids, a region, a bucket name); kExitOk otherwise.
int RequireDatabaseNames(const Invocation& invocation);
// Exactly one of --zone and --region (or --zone alone when the region is not allowed).
int ReadLocation(const Invocation& invocation, DiskLocation& location, bool regionAllowed = true);

// The whole file as text; false with the reason ("reading F: No such file or directory").
bool ReadTextFile(const std::string& path, std::string& text, std::string& error);
// Written readable by the owner only (0600), a file that was there narrowed to that: what gcsdk writes
// (instance resources, VM configurations) may hold startup scripts and other secrets in metadata.
bool WriteTextFile(const std::string& path, const std::string& text, std::string& error);

// The last segment of a URL ("https://.../zones/us-central1-a" -> "us-central1-a").
std::string LastSegment(const std::string& url);
// The region of a regional disk's URL ("/regions/R/disks/D"); empty for a zonal one.
std::string RegionOfDiskUrl(const std::string& url);

// A size in GB for a table: empty when unknown (0).
std::string SizeText(int64_t sizeGb);

std::string LabelText(const std::vector<GoogleCloudSDKWrapper::SKeyValueInfoLib>& labels);
json_spirit::mObject LabelObject(const std::vector<GoogleCloudSDKWrapper::SKeyValueInfoLib>& labels);
// Labels as the library's records and as the command line's pairs.
LabelList LabelsOf(const std::vector<GoogleCloudSDKWrapper::SKeyValueInfoLib>& labels);
std::vector<GoogleCloudSDKWrapper::SKeyValueInfoLib> LabelRecords(const LabelList& labels);

json_spirit::mObject VmObject(const GoogleCloudSDKWrapper::SVMInfoLib& vm);
json_spirit::mObject DiskObject(const GoogleCloudSDKWrapper::SDiskInfoLib& disk);
json_spirit::mObject SnapshotObject(const GoogleCloudSDKWrapper::SSnapshotInfoLib& snapshot);

// One record as a key/value table, or as its JSON object with --json.
void PrintRecord(const Invocation& invocation, const std::vector<std::pair<std::string, std::string>>& rows,
                 const json_spirit::mObject& object);
void PrintVm(const Invocation& invocation, const GoogleCloudSDKWrapper::SVMInfoLib& vm);
void PrintDisk(const Invocation& invocation, const GoogleCloudSDKWrapper::SDiskInfoLib& disk);

// "gcsdk: <text>" on err; returns kExitFailure. For failures of our own (a file), not the library's.
int Complain(const Invocation& invocation, const std::string& text);

// A message for people on out; nothing with --json (which prints its object instead).
void Say(const Invocation& invocation, const std::string& text);

}  // namespace gcsdk
