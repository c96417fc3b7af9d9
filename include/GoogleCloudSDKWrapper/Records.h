/// @file
/// Every record the library exchanges with its callers.
#pragma once

#include "DiskRecords.h"
#include "InstanceRecords.h"
#include "KeyRecords.h"
#include "KeyValueRecords.h"
#include "LocationRecords.h"
#include "OperationRecords.h"
#include "SpannerRecords.h"
#include "SqlRecords.h"
#include "StorageRecords.h"
