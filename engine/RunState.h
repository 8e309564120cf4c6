#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/FoundDomains.h"

namespace ostrevane {

class TDomainExtractor;

// The record of the current run, owned by the engine for the life of the program. There is at
// most one run at a time.
//
// RunStateLock guards JobQueue, JobOrigins, WorkerPool, BusyWorkers, MaxWorkers, the four run
// flags, AvailabilityCheckUrl and every worker's State and control flags; the main thread and the
// dispatcher take it for every read or change of those. The preferences, FoundDomains/FoundOn
// and BytesReceived belong to the main thread alone (workers reach them only through calls that
// run on the main thread).
struct RunState {
    // Preferences (milliseconds, counts, priority level 0 to 6).
    int ConnectionTimeout = 0;
    int PagesPerEngine = 0;
    int MaxSearchConnections = 0;
    int MaxValidateConnections = 0;
    int WhoisInterval = 0;
    int ThreadPriority = 0;

    // The most jobs that may hold a worker at once in the current run.
    int MaxWorkers = 0;

    // Pending jobs: result-page URLs of a search, or domain names of a validation. The
    // dispatcher takes the last one; JobOrigins pairs with JobQueue by index and is never
    // shortened during a run.
    std::vector<std::string> JobQueue;
    std::vector<std::string> JobOrigins;

    // Every live worker in order of creation, and those that hold a job.
    std::vector<std::shared_ptr<TDomainExtractor>> WorkerPool;
    std::vector<std::shared_ptr<TDomainExtractor>> BusyWorkers;

    // The names a search found (FoundDomains with FoundOn).
    FoundDomainList Found;

    int ExtractDomains = 0;
    int ValidateDomains = 0;
    int RunActive = 0;
    int Paused = 0;

    // Bytes received by every transfer of the current run.
    std::int64_t BytesReceived = 0;

    // The reseller's availability check up to the domain name: scheme, host and port, then
    // "/interface.asp" and the query. Set by the validation commands.
    std::string AvailabilityCheckUrl;

    std::mutex RunStateLock;
};

}  // namespace ostrevane
