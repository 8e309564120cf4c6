#pragma once

#include <string_view>

#include "cli/Cli.h"
#include "engine/JobHandlers.h"
#include "engine/MainThread.h"
#include "engine/RunEngine.h"

namespace ostrevane::cli {

// Runs the engine's current run to its end on this thread. While the error stream is a
// terminal it shows a progress line (jobs done, active workers, kilobytes, names); an interrupt
// stops the run, which then closes with what it has.
void RunToEnd(RunEngine& engine, CallQueue& calls, Console& console, std::string_view jobName);

// Stands in for the validation steps in runs that validate nothing.
class NoValidation final : public ValidationJobHandler {
public:
    void MarkValidating(const TDomainExtractor&, ResultsList&) override {}
    void RunValidationSteps(TDomainExtractor&, std::stop_token) override {}
    void MergeValidationResult(const TDomainExtractor&, ResultsList&) override {}
};

}  // namespace ostrevane::cli
