// Cloud Spanner ids, Cloud Storage bucket names and folders, and regions: checked before a request goes
// out, so that a mistyped one is a usage error rather than a Dataflow job that fails a minute later.
#pragma once

#include <string>

namespace gcsdk {

// [a-z][-a-z0-9]*[a-z0-9], 2 to 64 characters, as Spanner names instances.
bool IsSpannerInstanceId(const std::string& id);
extern const char kSpannerInstanceRule[];

// [a-z][a-z0-9_-]*[a-z0-9], 2 to 30 characters, as Spanner names databases.
bool IsSpannerDatabaseId(const std::string& id);
extern const char kSpannerDatabaseRule[];

// An instance configuration id ("regional-us-central1", "nam-eur-asia1"): lowercase letters, digits
// and '-', starting with a letter.
bool IsSpannerConfigId(const std::string& id);

// A region as Dataflow runs jobs in it ("us-central1"): lowercase letters, digits and '-', starting
// with a letter, and not "global" (Dataflow refuses it).
bool IsRegion(const std::string& region);

// Cloud Storage's rule: 3 to 63 lowercase letters, digits, '-', '_' and '.', starting and ending with a
// letter or digit (up to 222 with dots, each part between them at most 63).
bool IsBucketName(const std::string& name);
extern const char kBucketNameRule[];

// A folder in a bucket as the command line gives it ("exports", "/exports/2024/"), without the slashes
// at its ends; false (with the reason) when it is empty or holds an empty part, "." or "..", or a control
// character.
bool ReadFolder(const std::string& text, std::string& folder, std::string& error);

// "gs://<bucket>/<folder>/": the folder as the Dataflow templates take it.
std::string GcsFolder(const std::string& bucket, const std::string& folder);

}  // namespace gcsdk
