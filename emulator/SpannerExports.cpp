#include "emulator/SpannerExports.h"

#include <algorithm>

#include "emulator/SpannerModel.h"
#include "emulator/StorageModel.h"
#include "host/HostClock.h"
#include "host/ZkJson.h"

namespace gcemu {

using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

namespace {

constexpr char kExportManifest[] = "spanner-export.json";

std::string ManifestName(const std::string& table) {
    return table + "-manifest.json";
}

std::string DataFileName(const std::string& table) {
    return table + ".avro-00000-of-00001";
}

// An Avro container's magic and a schema such as the template writes; no rows.
std::string AvroBytes(const std::string& table) {
    mObject id{{"name", table + "Id"}, {"type", "long"}, {"sqlType", "INT64"}};
    mObject name{{"name", "Name"}, {"type", mArray{"null", "string"}}, {"sqlType", "STRING(MAX)"}};
    mObject schema{{"type", "record"},
                   {"name", table},
                   {"namespace", "spannerexport"},
                   {"fields", mArray{id, name}},
                   {"googleStorage", "CloudSpanner"},
                   {"spannerPrimaryKey", "`" + table + "Id` ASC"},
                   {"googleFormatVersion", "1.0.0"}};
    return std::string("Obj\x01", 4) + ZkJson::Serialize(schema);
}

const std::string* ObjectBytes(World::Txn& world, const std::string& bucket, const std::string& name) {
    const mObject* data = world.Find(collections::kObjectData, ObjectKey(bucket, name));
    return data ? &data->at("data").get_str() : nullptr;
}

}  // namespace

bool SplitGcsFolder(const std::string& path, std::string& bucket, std::string& folder) {
    const std::string scheme = "gs://";
    if (path.compare(0, scheme.size(), scheme) != 0) return false;
    const size_t slash = path.find('/', scheme.size());
    bucket =
        path.substr(scheme.size(), slash == std::string::npos ? std::string::npos : slash - scheme.size());
    folder = slash == std::string::npos ? "" : path.substr(slash + 1);
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return !bucket.empty();
}

bool WriteSpannerExport(World::Txn& world, const std::string& database, const std::vector<std::string>& only,
                        const std::string& outputDir, const std::string& folder, std::string& problem) {
    if (!world.Find(collections::kSpannerDatabases, database)) {
        problem = "Database not found: " + database;
        return false;
    }
    std::string bucketName;
    std::string prefix;
    const mObject* bucket = SplitGcsFolder(outputDir, bucketName, prefix)
                                ? world.Find(collections::kBuckets, bucketName)
                                : nullptr;
    if (!bucket) {
        problem = "Unable to write to " + outputDir + ": the bucket " + bucketName + " does not exist.";
        return false;
    }
    std::vector<std::string> tables = SpannerTables(world, database);
    if (!only.empty()) {
        for (const std::string& table : only) {
            if (std::find(tables.begin(), tables.end(), table) == tables.end()) {
                problem = "Table not found: " + table;
                return false;
            }
        }
        tables = only;
    }
    const mObject bucketCopy = *bucket;  // stable while objects are added
    const std::string base = prefix + folder + "/";
    const std::string now = FormatRfc3339(host::Now());
    mArray listed;
    for (const std::string& table : tables) {
        const mObject& data = PutObject(world, bucketCopy, base + DataFileName(table), AvroBytes(table),
                                        "application/octet-stream", NextGeneration(world), now);
        const mObject file{{"name", DataFileName(table)}, {"md5", data.at("md5Hash")}};
        PutObject(world, bucketCopy, base + ManifestName(table),
                  ZkJson::Serialize(mObject{{"files", mArray{file}}}), "application/json",
                  NextGeneration(world), now);
        listed.push_back(mObject{{"name", table}, {"manifestFile", ManifestName(table)}});
    }
    const mObject* resource = world.Find(collections::kSpannerDatabases, database);
    const mObject retention{
        {"optionName", "version_retention_period"},
        {"optionType", "STRING"},
        {"optionValue", "\"" + ZkJson::GetStringValue(*resource, "versionRetentionPeriod") + "\""}};
    const mObject manifest{{"tables", listed},
                           {"databaseOptions", mArray{retention}},
                           {"dialect", ZkJson::GetStringValue(*resource, "databaseDialect")}};
    PutObject(world, bucketCopy, base + kExportManifest, ZkJson::Serialize(manifest), "application/json",
              NextGeneration(world), now);
    return true;
}

bool ImportSpannerExport(World::Txn& world, const std::string& inputDir, const std::string& database,
                         std::string& problem) {
    std::string bucket;
    std::string folder;
    if (!SplitGcsFolder(inputDir, bucket, folder) || !world.Find(collections::kBuckets, bucket)) {
        problem = "Unable to read " + inputDir + ": the bucket " + bucket + " does not exist.";
        return false;
    }
    const std::string* text = ObjectBytes(world, bucket, folder + kExportManifest);
    mObject manifest;
    const mArray* listed =
        text && ZkJson::Unserialize(*text, manifest) ? ZkJson::FindArray(manifest, "tables") : nullptr;
    if (!listed) {
        problem = "Unable to read the export: " + inputDir + kExportManifest +
                  " does not exist or is not an export.";
        return false;
    }
    std::vector<std::string> tables;
    for (const mValue& entry : *listed) {
        const std::string name =
            entry.type() == json_spirit::obj_type ? ZkJson::GetStringValue(entry.get_obj(), "name") : "";
        const std::string file = entry.type() == json_spirit::obj_type
                                     ? ZkJson::GetStringValue(entry.get_obj(), "manifestFile")
                                     : "";
        if (!IsSpannerTableName(name) || file.empty() || !ObjectBytes(world, bucket, folder + file)) {
            problem = "Unable to read the export: the manifest of table '" + name + "' is missing.";
            return false;
        }
        tables.push_back(name);
    }
    if (!world.Find(collections::kSpannerDatabases, database)) {
        problem = "Database not found: " + database;
        return false;
    }
    if (!SpannerTables(world, database).empty()) {
        problem = "The database " + database + " is not empty: an import needs an empty database.";
        return false;
    }
    std::vector<std::string> statements = SpannerStatements(world, database);
    for (const std::string& table : tables) statements.push_back(CreateTableStatement(table));
    SetSpannerStatements(world, database, statements);
    return true;
}

}  // namespace gcemu
