#include "emulator/DataflowJobs.h"

#include <stdexcept>

namespace gcemu {

DataflowJobs::Fault DataflowFaultFromJson(const json_spirit::mObject& json) {
    DataflowJobs::Fault fault;
    try {
        for (const auto& [name, value] : json) {
            if (name == "jobNamePrefix") {
                fault.prefix = value.get_str();
            } else if (name == "count") {
                fault.count = value.get_int();
            } else if (name == "state") {
                fault.failure.state = value.get_str();
            } else {
                throw std::invalid_argument("unknown Dataflow job fault member '" + name + "'");
            }
        }
    } catch (const std::runtime_error& error) {  // a member of the wrong type
        throw std::invalid_argument(std::string("bad Dataflow job fault: ") + error.what());
    }
    if (fault.failure.state != "JOB_STATE_FAILED" && fault.failure.state != "JOB_STATE_CANCELLED")
        throw std::invalid_argument("\"state\" is JOB_STATE_FAILED or JOB_STATE_CANCELLED");
    if (fault.count <= 0) throw std::invalid_argument("a fault needs a count of at least 1");
    return fault;
}

}  // namespace gcemu
