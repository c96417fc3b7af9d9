// New persistent disks from a request: the body of disks.insert, and an instance's initializeParams
// (given here in the same form: type, sizeGb, sourceImage...). Checked as Google checks them, with
// Google's refusals.
#pragma once

#include <cstdint>
#include <string>

#include "emulator/ComputeModel.h"

namespace gcemu {

// The image, snapshot or disk a new disk is made from.
struct DiskSource {
    std::string key;                   // empty: a blank disk
    const char* collection = nullptr;  // collections::kImages, kSnapshots or kDisks
    const char* noun = "";
    int64_t sizeGb = 0;

    bool Exists(World::Txn& world) const { return !collection || world.Find(collection, key) != nullptr; }
};

// The compute#disk `key` ("projects/p/zones/z/disks/d" or a regional one) as the request makes it, in
// status CREATING. wanted members: type, sizeGb, sourceImage, sourceSnapshot, sourceDisk, labels, licenses,
// guestOsFeatures, diskEncryptionKey, description, replicaZones (regional disks). False, with the
// answer to give, when the request is refused.
bool NewDisk(World::Txn& world, const std::string& projectId, const std::string& key,
             const json_spirit::mObject& wanted, json_spirit::mObject& disk, DiskSource& source,
             Response& refusal);

}  // namespace gcemu
