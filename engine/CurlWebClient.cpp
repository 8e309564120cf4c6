#include "engine/CurlWebClient.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <optional>
#include <stdexcept>
#include <utility>

namespace ostrevane {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view CurlInitError = "Unable to initialise libcurl";
constexpr std::string_view ClientSetupError = "Unable to set up the HTTP client: ";
constexpr std::string_view MalformedUrlError = "Malformed URL: it contains a NUL byte";
constexpr const char* AllowedProtocols = "http,https";

// A single poll never outlasts this, so that a huge time-out cannot overflow curl's int
// milliseconds; the loop simply polls again.
constexpr std::chrono::milliseconds MaxPollWait{60'000};

struct EasyCleanup {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiCleanup {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;
using MultiHandle = std::unique_ptr<CURLM, MultiCleanup>;

}  // namespace

// Everything but Cancelled and Multi's wake-up belongs to the thread that runs Get.
struct CurlWebClient::Impl final {
    Impl(std::chrono::milliseconds timeout, WebClientObserver& observer);

    void Get(const std::string& url);
    // The transfer itself; throws WebClientError. Get cleans up after it whatever it throws.
    void Transfer(const std::string& url);
    // The result of the attached transfer once curl reports it done.
    [[nodiscard]] std::optional<CURLcode> Finished();
    [[nodiscard]] std::string Describe(CURLcode result) const;
    // Collects what went wrong while the options are set; the first failure is kept.
    template <typename Value>
    void SetOption(CURLoption option, Value value);

    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);
    static int OnConnected(void* self, char* primaryIp, char* localIp, int primaryPort, int localPort);

    const std::chrono::milliseconds Timeout;
    WebClientObserver& Observer;
    // Multi before Easy, so that the easy handle goes first when the object is destroyed.
    MultiHandle Multi;
    EasyHandle Easy;
    // Empty when the handles are ready; otherwise why every Get fails.
    std::string SetupError;
    char ErrorText[CURL_ERROR_SIZE]{};

    std::string Body;
    std::int64_t Bytes = 0;
    std::int64_t BytesNotified = 0;
    std::string Address{NoAddress};
    // When the transfer last showed life: connected, a header or body bytes arrived, or the
    // observer returned. Stalls are measured from here.
    Clock::time_point LastActivity{};
    bool BodyOverBound = false;

    std::atomic<bool> Cancelled{false};
};

namespace {

// Keeps the easy handle in the multi handle for one transfer. Removing it aborts whatever is
// still under way, and a connection left in the middle of a response is closed, not reused.
class Attachment final {
public:
    Attachment(CURLM* multi, CURL* easy) : multi_(multi), easy_(easy) {
        const CURLMcode added = curl_multi_add_handle(multi_, easy_);
        if (added != CURLM_OK) {
            throw WebClientError(curl_multi_strerror(added));
        }
    }
    ~Attachment() { curl_multi_remove_handle(multi_, easy_); }
    Attachment(const Attachment&) = delete;
    Attachment& operator=(const Attachment&) = delete;

private:
    CURLM* multi_;
    CURL* easy_;
};

}  // namespace

CurlWebClient::Impl::Impl(std::chrono::milliseconds timeout, WebClientObserver& observer)
    : Timeout(std::max(timeout, std::chrono::milliseconds(1))),
      Observer(observer),
      Multi(curl_multi_init()),
      Easy(curl_easy_init()) {
    if (!Multi || !Easy) {
        SetupError = std::string(ClientSetupError) + curl_easy_strerror(CURLE_OUT_OF_MEMORY);
        return;
    }
    SetOption(CURLOPT_ERRORBUFFER, static_cast<char*>(ErrorText));
    // Worker threads must never see a signal from curl (its synchronous resolver time-out).
    SetOption(CURLOPT_NOSIGNAL, 1L);
    // A transfer abandoned while its name is still being resolved leaves the resolver thread to
    // finish on its own, instead of waiting for the lookup inside Cancel or a time-out.
    SetOption(CURLOPT_QUICK_EXIT, 1L);
    // Harvested links may name any scheme; only the web is fetched, also behind a redirect.
    SetOption(CURLOPT_PROTOCOLS_STR, AllowedProtocols);
    SetOption(CURLOPT_REDIR_PROTOCOLS_STR, AllowedProtocols);
    SetOption(CURLOPT_FOLLOWLOCATION, 1L);
    SetOption(CURLOPT_MAXREDIRS, MaxRedirects);
    SetOption(CURLOPT_HTTPGET, 1L);
    SetOption(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(Timeout.count()));
    SetOption(CURLOPT_USERAGENT, UserAgent.data());
    // Every encoding curl can decode; the decoded bytes are what the body bound counts.
    SetOption(CURLOPT_ACCEPT_ENCODING, "");
    // Rejects a declared length over the bound before any of the body is read; chunked and
    // compressed bodies are caught in OnBody.
    SetOption(CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(MaxBodyBytes));
    // The program reads no environment: proxy variables must not redirect its fetches.
    SetOption(CURLOPT_PROXY, "");
    SetOption(CURLOPT_WRITEFUNCTION, &Impl::OnBody);
    SetOption(CURLOPT_WRITEDATA, this);
    SetOption(CURLOPT_HEADERFUNCTION, &Impl::OnHeader);
    SetOption(CURLOPT_HEADERDATA, this);
    SetOption(CURLOPT_PREREQFUNCTION, &Impl::OnConnected);
    SetOption(CURLOPT_PREREQDATA, this);
}

template <typename Value>
void CurlWebClient::Impl::SetOption(CURLoption option, Value value) {
    const CURLcode result = curl_easy_setopt(Easy.get(), option, value);
    if (result != CURLE_OK && SetupError.empty()) {
        SetupError = std::string(ClientSetupError) + curl_easy_strerror(result);
    }
}

void CurlWebClient::Impl::Get(const std::string& url) {
    Body.clear();
    Bytes = 0;
    BytesNotified = 0;
    Address = NoAddress;
    try {
        Transfer(url);
    } catch (...) {
        // Also when the observer threw: a failed request leaves no partial page behind.
        Body.clear();
        Address = NoAddress;
        throw;
    }
}

void CurlWebClient::Impl::Transfer(const std::string& url) {
    if (!SetupError.empty()) {
        throw WebClientError(SetupError);
    }
    if (Cancelled.load(std::memory_order_acquire)) {
        throw WebClientError(std::string(CancelledError));
    }
    // curl would read the text only up to the NUL and fetch some other address.
    if (url.find('\0') != std::string::npos) {
        throw WebClientError(std::string(MalformedUrlError));
    }
    BodyOverBound = false;
    ErrorText[0] = '\0';
    const CURLcode urlSet = curl_easy_setopt(Easy.get(), CURLOPT_URL, url.c_str());
    if (urlSet != CURLE_OK) {
        throw WebClientError(curl_easy_strerror(urlSet));
    }

    const Attachment attachment(Multi.get(), Easy.get());
    LastActivity = Clock::now();
    for (;;) {
        int running = 0;
        const CURLMcode performed = curl_multi_perform(Multi.get(), &running);
        if (performed != CURLM_OK) {
            throw WebClientError(curl_multi_strerror(performed));
        }
        // Outside curl's callbacks, so the observer may block, cancel or throw safely.
        if (Bytes != BytesNotified) {
            BytesNotified = Bytes;
            Observer.PacketReceived();
            LastActivity = Clock::now();
        }
        if (Cancelled.load(std::memory_order_acquire)) {
            throw WebClientError(std::string(CancelledError));
        }
        if (const std::optional<CURLcode> result = Finished()) {
            if (*result != CURLE_OK) {
                throw WebClientError(Describe(*result));
            }
            return;
        }
        const Clock::time_point now = Clock::now();
        const Clock::time_point deadline = LastActivity + Timeout;
        if (now >= deadline) {
            throw WebClientError(std::string(TimedOutError));
        }
        // curl shortens the wait to its own next timer; Cancel ends it through the wake-up.
        const auto wait = std::min(std::chrono::ceil<std::chrono::milliseconds>(deadline - now), MaxPollWait);
        const CURLMcode polled = curl_multi_poll(Multi.get(), nullptr, 0, static_cast<int>(wait.count()), nullptr);
        if (polled != CURLM_OK) {
            throw WebClientError(curl_multi_strerror(polled));
        }
    }
}

std::optional<CURLcode> CurlWebClient::Impl::Finished() {
    int queued = 0;
    while (const CURLMsg* message = curl_multi_info_read(Multi.get(), &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == Easy.get()) {
            return message->data.result;
        }
    }
    return std::nullopt;
}

std::string CurlWebClient::Impl::Describe(CURLcode result) const {
    if (BodyOverBound || result == CURLE_FILESIZE_EXCEEDED) {
        return std::string(BodyTooLargeError);
    }
    if (ErrorText[0] != '\0') {
        return ErrorText;
    }
    return curl_easy_strerror(result);
}

std::size_t CurlWebClient::Impl::OnBody(char* data, std::size_t size, std::size_t count, void* self) {
    auto& impl = *static_cast<Impl*>(self);
    const std::size_t length = size * count;
    if (impl.Cancelled.load(std::memory_order_acquire)) {
        return CURL_WRITEFUNC_ERROR;
    }
    if (length > MaxBodyBytes - impl.Body.size()) {
        impl.BodyOverBound = true;
        return CURL_WRITEFUNC_ERROR;
    }
    impl.Body.append(data, length);
    impl.Bytes += static_cast<std::int64_t>(length);
    impl.LastActivity = Clock::now();
    return length;
}

std::size_t CurlWebClient::Impl::OnHeader(char* /*data*/, std::size_t size, std::size_t count, void* self) {
    // Headers are not body bytes, but a server that is still sending them is not stalled.
    static_cast<Impl*>(self)->LastActivity = Clock::now();
    return size * count;
}

int CurlWebClient::Impl::OnConnected(void* self, char* primaryIp, char* /*localIp*/, int /*primaryPort*/,
                                     int /*localPort*/) {
    auto& impl = *static_cast<Impl*>(self);
    impl.Address = primaryIp;
    impl.LastActivity = Clock::now();
    return CURL_PREREQFUNC_OK;
}

CurlGlobal::CurlGlobal() {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        throw std::runtime_error(std::string(CurlInitError));
    }
    std::signal(SIGPIPE, SIG_IGN);
}

CurlGlobal::~CurlGlobal() {
    curl_global_cleanup();
}

CurlWebClient::CurlWebClient(std::chrono::milliseconds timeout, WebClientObserver& observer)
    : impl_(std::make_unique<Impl>(timeout, observer)) {}

CurlWebClient::~CurlWebClient() = default;

void CurlWebClient::Get(const std::string& url) {
    impl_->Get(url);
}

const std::string& CurlWebClient::Body() const {
    return impl_->Body;
}

std::int64_t CurlWebClient::BytesReceived() const {
    return impl_->Bytes;
}

std::string CurlWebClient::RemoteAddress() const {
    return impl_->Address;
}

void CurlWebClient::Cancel() {
    impl_->Cancelled.store(true, std::memory_order_release);
    if (impl_->Multi) {
        // Ends a curl_multi_poll under way at once, or the next one to start.
        curl_multi_wakeup(impl_->Multi.get());
    }
}

CurlWebClientFactory::CurlWebClientFactory(const CurlGlobal& /*global*/) {}

std::unique_ptr<WebClient> CurlWebClientFactory::Create(std::chrono::milliseconds timeout,
                                                        WebClientObserver& observer) {
    return std::make_unique<CurlWebClient>(timeout, observer);
}

}  // namespace ostrevane
