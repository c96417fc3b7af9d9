// Long-running work outside Compute Engine: Cloud Spanner's operations and Dataflow's jobs. As with
// Compute's operations (ComputeOperations.h), time is the client looking: a piece of work moves one step
// each time it is polled, and how many polls it takes is the test's choice. The next `count` pieces of
// work whose name starts with a fault's prefix end with the fault's failure.
//
//   emulator.spannerOperations().SetPollsUntilDone(0);   // creations answer done at once
//   emulator.dataflowJobs().AddFault({"cloud-spanner-export-", 1, {"JOB_STATE_CANCELLED"}});
//
// Failure is the family's own end: a google.rpc.Status for Spanner, a terminal job state for Dataflow.
// Thread-safe; handlers call Start and Poll with the world locked (its lock is taken before this one).
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "emulator/World.h"

namespace gcemu {

template <typename Failure>
class PolledWork {
public:
    struct Fault {
        std::string prefix;  // of the name the work is started with; "" any
        int count = 1;
        Failure failure;
    };
    // What the work does as it moves; each hook runs with the world locked.
    struct Hooks {
        std::function<void(World::Txn&)> running;  // at the first poll
        // At the last poll: injected is the fault's failure, or null when the work is to succeed.
        std::function<void(World::Txn&, const Failure* injected)> end;
    };

    PolledWork(World& world, int defaultPolls) : m_world(world), m_defaultPolls(defaultPolls) {
        m_polls = defaultPolls;
    }
    PolledWork(const PolledWork&) = delete;
    PolledWork& operator=(const PolledWork&) = delete;

    // ---- For tests.
    // Polls until the work ends; 0: it has ended in the reply that starts it.
    void SetPollsUntilDone(int polls) {
        if (polls < 0) throw std::invalid_argument("polls cannot be negative");
        std::lock_guard<std::mutex> lock(m_mutex);
        m_polls = polls;
    }
    int PollsUntilDone() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_polls;
    }
    void AddFault(Fault fault) {
        if (fault.count <= 0) throw std::invalid_argument("a fault needs a count of at least 1");
        std::lock_guard<std::mutex> lock(m_mutex);
        m_faults.push_back(std::move(fault));
    }
    void ClearFaults() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_faults.clear();
    }
    size_t PendingFaults() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_faults.size();
    }
    size_t Unfinished() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_pending.size();
    }
    // Everything under way brought to its end.
    void FinishAll() {
        World::Txn world = m_world.Lock();
        std::vector<std::string> keys;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (const auto& entry : m_pending) keys.push_back(entry.first);
        }
        for (const std::string& key : keys) Step(world, key, true);
    }
    // Polls back to the default and faults dropped (the world reset).
    void Reset() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_polls = m_defaultPolls;
        m_faults.clear();
    }

    // ---- For handlers, with the world locked.
    // Starts the work kept under key; name is what faults match. With 0 polls it ends at once.
    void Start(World::Txn& world, const std::string& key, const std::string& name, Hooks hooks) {
        int polls = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            Pending pending;
            pending.hooks = std::move(hooks);
            pending.pollsLeft = polls = m_polls;
            for (auto it = m_faults.begin(); it != m_faults.end(); ++it) {
                if (name.compare(0, it->prefix.size(), it->prefix) != 0) continue;
                pending.failure = it->failure;
                if (--it->count == 0) m_faults.erase(it);
                break;
            }
            m_pending[key] = std::move(pending);
        }
        if (polls == 0) Step(world, key, true);
    }
    // One step on; nothing for work that has ended or is unknown.
    void Poll(World::Txn& world, const std::string& key) { Step(world, key, false); }
    // Work under way dropped: the world was seeded again.
    void Forget() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pending.clear();
    }

private:
    struct Pending {
        int pollsLeft = 0;
        bool started = false;
        std::optional<Failure> failure;
        Hooks hooks;
    };

    void Step(World::Txn& world, const std::string& key, bool toTheEnd) {
        std::function<void(World::Txn&)> running;
        std::optional<Pending> ended;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            const auto found = m_pending.find(key);
            if (found == m_pending.end()) return;
            Pending& pending = found->second;
            if (!pending.started) {
                pending.started = true;
                running = std::move(pending.hooks.running);
            }
            pending.pollsLeft = toTheEnd ? 0 : pending.pollsLeft - 1;
            if (pending.pollsLeft <= 0) {
                ended = std::move(pending);
                m_pending.erase(found);
            }
        }
        // The hooks change the world only: they run without this object's lock.
        if (running) running(world);
        if (ended && ended->hooks.end) ended->hooks.end(world, ended->failure ? &*ended->failure : nullptr);
    }

    World& m_world;
    mutable std::mutex m_mutex;
    const int m_defaultPolls;
    int m_polls;
    std::deque<Fault> m_faults;
    std::map<std::string, Pending> m_pending;
};

}  // namespace gcemu
