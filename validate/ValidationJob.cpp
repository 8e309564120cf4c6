#include "validate/ValidationJob.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <exception>

#include "engine/ResultsList.h"
#include "engine/Worker.h"
#include "validate/DateRecognition.h"
#include "validate/HostAddressLookup.h"
#include "validate/WhoisClient.h"
#include "validate/WhoisInterpretation.h"

namespace ostrevane {

std::string_view AvailabilityText(std::string_view answer) {
    if (answer.empty()) {
        return CouldNotConnectText;
    }
    if (answer.find(RegisteredMarker) != std::string_view::npos) {
        return RegisteredText;
    }
    if (answer.find(NotRegisteredMarker) != std::string_view::npos) {
        return NotRegisteredText;
    }
    return NoRegistrationInformationText;
}

int ValidatedPicture(bool failed, double expiry, double now) {
    int picture = failed ? ImageError : ImageValidated;
    if (std::trunc(expiry) != -1 && std::trunc(std::fabs(expiry - now)) < ExpiringWithinDays) {
        picture = ImageExpiring;
    }
    return picture;
}

double LocalNowAsDateValue() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const double day = DateValue(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    return day + (local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec) / 86400.0;
}

ValidationJob::ValidationJob(TcpConnector& connector, std::filesystem::path configsDirectory, ValidationClock clock)
    : connector_(connector), configsDirectory_(std::move(configsDirectory)), clock_(std::move(clock)) {
    if (!clock_.Now) {
        clock_.Now = LocalNowAsDateValue;
    }
    if (!clock_.Year) {
        clock_.Year = CurrentLocalYear;
    }
}

void ValidationJob::MarkValidating(const TDomainExtractor& worker, ResultsList& results) {
    if (ResultRow* row = results.Find(worker.Domain)) {
        row->Picture = ImageValidating;
    }
}

void ValidationJob::RunValidationSteps(TDomainExtractor& worker, std::stop_token stop) {
    worker.ShowStatus("Getting whois information... ( " + worker.Domain + ")");
    worker.Registrar.clear();
    worker.WhoisText.clear();
    try {
        WhoisLookupResult lookup = WhoisLookup(connector_, configsDirectory_ / "whoistldconf.ini", worker.Domain,
                                               worker.Registrar, std::chrono::milliseconds(worker.Timeout), stop);
        worker.WhoisText = std::move(lookup.Text);
        worker.Registrar = std::move(lookup.Registrar);
        if (lookup.Failed) {
            worker.Failed = 1;
        }
    } catch (const std::exception&) {
        worker.Failed = 1;
    }
    if (stop.stop_requested()) {
        return;
    }
    worker.ShowStatus("Getting IP... ( " + worker.Domain + ")");
    worker.HostAddress = "-1";
    worker.HostAddress = HostAddressLookup(connector_, "www." + worker.Domain, stop);
    if (worker.HostAddress == HostAddressUnavailable) {
        worker.Failed = 1;
    }
    if (worker.WhoisText.empty()) {
        worker.Failed = 1;
        worker.ShowStatus(std::string(StatusWhoisFailed));
        worker.WhoisText = NoWhoisText;
    } else {
        worker.ShowStatus(std::string(StatusProcessingPage));
    }
}

void ValidationJob::MergeValidationResult(const TDomainExtractor& worker, ResultsList& results) {
    // The answer is read once; every row of the name gets the same texts. An unreadable list
    // raises to job completion, which marks the row failed and still ends the job.
    double expiry = NoDateValue;
    bool read = false;
    const double now = clock_.Now();
    for (std::size_t i = 0; i < results.Count(); ++i) {
        ResultRow& row = results.At(i);
        if (row.Domain() != worker.Domain) {
            continue;
        }
        if (!read) {
            expiry = ExpiryDateFromWhois(worker.WhoisText, configsDirectory_, clock_.Year());
            read = true;
        }
        row.SubItems[SubExpires] = ExpiryText(expiry);
        row.SubItems[SubRegistrar] = worker.Registrar;
        row.SubItems[SubWhoisText] = worker.WhoisText;
        row.SubItems[SubEmail] = FirstEmailAddress(worker.WhoisText);
        row.SubItems[SubIp] = worker.HostAddress;
        row.Picture = ValidatedPicture(worker.Failed != 0, expiry, now);
        row.SubItems[SubRegistered] = AvailabilityText(worker.PageBody);
    }
    results.Touch();
}

}  // namespace ostrevane
