// Cloud Storage buckets and object listings.
#include "GoogleCloudParser/CGoogleCloudParser.h"

namespace GoogleCloudSDKWrapper {

bool CGoogleCloudParser::Convert(const mObject& object, SStorageBucketInfoLib& bucket) {
    bucket.id = GetStringValue(object, "id");
    bucket.name = GetStringValue(object, "name");
    bucket.location = GetStringValue(object, "location");
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SStorageObjectItemInfoLib& item) {
    item.id = GetStringValue(object, "id");
    item.name = GetStringValue(object, "name");
    item.bucket = GetStringValue(object, "bucket");
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SStorageObjectsInfoLib& objects) {
    ConvertNestedListString(object, "prefixes", objects.prefixes);
    if (const mArray* items = ZkJson::FindArray(object, "items")) ConvertList(*items, objects.items);
    return true;
}

bool CGoogleCloudParser::Convert(const SStorageBucketInfoLib& bucket, mObject& object) {
    object["kind"] = "storage#bucket";
    if (!bucket.name.empty()) object["name"] = bucket.name;
    if (!bucket.location.empty()) object["location"] = bucket.location;
    return true;
}

}  // namespace GoogleCloudSDKWrapper
