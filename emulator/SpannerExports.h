// What Dataflow's Spanner templates do when their job runs to the end: an export writes a database's
// tables into Cloud Storage as Google's template lays them out, and an import reads such a folder back
// into an empty database. The files' bytes are made up (an Avro-like header and the table's schema);
// their names, manifests and MD5s are Google's.
//
//   <outputDir><instance>-<database>-<job id>/spanner-export.json
//   <outputDir><instance>-<database>-<job id>/<table>-manifest.json
//   <outputDir><instance>-<database>-<job id>/<table>.avro-00000-of-00001
#pragma once

#include <string>
#include <vector>

#include "emulator/World.h"

namespace gcemu {

// "gs://bucket/folder/sub" -> "bucket" and "folder/sub/" ("" for the bucket's top); false when it is not
// a gs:// path with a bucket.
bool SplitGcsFolder(const std::string& path, std::string& bucket, std::string& folder);

// Writes the export of the database (all its tables, or those named) into folder under outputDir. False,
// with the reason the job fails for, when the database or its bucket is missing or a table is unknown;
// nothing is written then.
bool WriteSpannerExport(World::Txn& world, const std::string& database,
                        const std::vector<std::string>& tables, const std::string& outputDir,
                        const std::string& folder, std::string& problem);

// Gives the database the tables of the export in inputDir. False, with the reason, when the folder holds
// no export (no spanner-export.json, or a manifest it names is missing) or the database is missing or not
// empty; nothing changes then.
bool ImportSpannerExport(World::Txn& world, const std::string& inputDir, const std::string& database,
                         std::string& problem);

}  // namespace gcemu
