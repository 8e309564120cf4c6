#pragma once

#include <stop_token>
#include <string>

namespace ostrevane {

class FoundDomainList;
class ResultsList;
class TDomainExtractor;

// What a search job does with its page, on the main thread.
class SearchJobHandler {
public:
    virtual ~SearchJobHandler() = default;
    // Appends the page's new names to the found list with the page's origin.
    virtual void CollectDomains(const std::string& page, FoundDomainList& found, const std::string& origin) = 0;
};

// The steps of a validation job beyond fetching the availability answer.
class ValidationJobHandler {
public:
    virtual ~ValidationJobHandler() = default;
    // Main thread, when a worker starts the job: marks the domain's row.
    virtual void MarkValidating(const TDomainExtractor& worker, ResultsList& results) = 0;
    // The worker's thread: the WHOIS lookup and the host address, into the worker's fields.
    // Returns early once a stop is requested (the worker was retired).
    virtual void RunValidationSteps(TDomainExtractor& worker, std::stop_token stop) = 0;
    // Main thread, at job completion: fills the domain's row.
    virtual void MergeValidationResult(const TDomainExtractor& worker, ResultsList& results) = 0;
};

}  // namespace ostrevane
