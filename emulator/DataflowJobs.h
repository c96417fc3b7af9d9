// Dataflow's jobs as they move: JOB_STATE_QUEUED at the launch, JOB_STATE_RUNNING at the first poll
// (a GET of the job), JOB_STATE_DONE at the last; a fault ends the job in JOB_STATE_FAILED or
// JOB_STATE_CANCELLED instead, and a job that cannot do its work (a bucket or database missing) fails
// by itself.
#pragma once

#include <string>

#include "emulator/PolledWork.h"
#include "host/json/JsonValue.h"

namespace gcemu {

// The terminal state a job ends in instead of JOB_STATE_DONE.
struct JobEnd {
    std::string state = "JOB_STATE_FAILED";  // or JOB_STATE_CANCELLED
};

// Faults match the job's name ("cloud-spanner-export-").
using DataflowJobs = PolledWork<JobEnd>;

// {"jobNamePrefix", "count", "state" (JOB_STATE_FAILED when absent)} of the control API. Throws
// std::invalid_argument.
DataflowJobs::Fault DataflowFaultFromJson(const json_spirit::mObject& json);

}  // namespace gcemu
