// snapshot --vm NAME or --vm-guid ID: a snapshot of every persistent disk of a VM, named after the disk
// and one time for all, its configuration saved first with --save-config.
#pragma once

#include "cli/Command.h"

namespace gcsdk {

int SnapshotVm(const Invocation& invocation);

}  // namespace gcsdk
