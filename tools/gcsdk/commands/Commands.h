// The command groups, one file each; main adds them all to the registry.
#pragma once

#include "cli/Command.h"

namespace gcsdk {

void AddProjectCommands(Registry& registry);          // projects
void AddLocationCommands(Registry& registry);         // zones, regions
void AddVmCommands(Registry& registry);               // vms, find
void AddSnapshotCommands(Registry& registry);         // snapshot, snapshots list|delete
void AddDiskCommands(Registry& registry);             // disk from-snapshot|attach|detach|move|delete|show
void AddDiskKeyAndLabelCommands(Registry& registry);  // disk keys, disk labels show|set
void AddKeyCommands(Registry& registry);              // keys show, keyring create, key create|rotate
void AddInstanceCommands(Registry& registry);         // vm stop|start|delete|config
void AddStorageCommands(Registry& registry);          // buckets list, bucket create, objects list, object get
void AddDatabaseCommands(Registry& registry);         // sql list, spanner instances|databases|config
void AddSpannerCopyCommands(Registry& registry);      // spanner create-database|export|import
void AddRestoreCommands(Registry& registry);          // restore, deploy
void AddDemoCommand(Registry& registry);              // demo
void AddEmulatorCommand(Registry& registry);          // emulator

}  // namespace gcsdk
