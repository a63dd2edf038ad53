#include "platform/spooler.h"

#include <cups/cups.h>

namespace mk::platform {
namespace {

struct HttpCloser {
    void operator()(http_t* http) const { httpClose(http); }
};
using HttpConnection = std::unique_ptr<http_t, HttpCloser>;

constexpr int kConnectTimeoutMs = 30000;
constexpr double kRequestTimeoutSeconds = 30.0;  // each wait for the scheduler

// The scheduler libcups is configured for, as every client of it finds it.
HttpConnection connectToScheduler() {
    HttpConnection http(
        httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, kConnectTimeoutMs, nullptr));
    if (http) httpSetTimeout(http.get(), kRequestTimeoutSeconds, nullptr, nullptr);
    return http;
}

}  // namespace

struct SpoolerJob::State {
    HttpConnection http;
    std::string printerName;
    std::string title;
    int jobId = 0;
    bool documentStarted = false;
    bool finished = false;
};

SpoolerJob::SpoolerJob() : state_(std::make_unique<State>()) {}

SpoolerJob::~SpoolerJob() {
    if (state_->jobId <= 0 || state_->finished) return;
    // The job's own connection may be stuck in the middle of a request.
    state_->http.reset();
    HttpConnection http = connectToScheduler();
    if (http) cupsCancelJob2(http.get(), state_->printerName.c_str(), state_->jobId, 0);
}

bool SpoolerJob::open(const std::string& printerName) {
    if (printerName.empty()) return false;
    state_->http = connectToScheduler();
    if (!state_->http) return false;
    cups_dest_t* destination = cupsGetNamedDest(state_->http.get(), printerName.c_str(), nullptr);
    if (destination == nullptr) return false;
    cupsFreeDests(1, destination);
    state_->printerName = printerName;
    return true;
}

bool SpoolerJob::create(const std::string& title) {
    if (!state_->http) return false;
    state_->title = title;
    state_->jobId = cupsCreateJob(state_->http.get(), state_->printerName.c_str(), title.c_str(), 0, nullptr);
    return state_->jobId > 0;
}

bool SpoolerJob::startDocument() {
    if (state_->jobId <= 0) return false;
    // The job's one document carries the job's title.
    state_->documentStarted = cupsStartDocument(state_->http.get(), state_->printerName.c_str(), state_->jobId,
                                                state_->title.c_str(), CUPS_FORMAT_RAW, 1) == HTTP_STATUS_CONTINUE;
    return state_->documentStarted;
}

bool SpoolerJob::write(const void* data, std::size_t length) {
    if (!state_->documentStarted) return false;
    return cupsWriteRequestData(state_->http.get(), static_cast<const char*>(data), length) == HTTP_STATUS_CONTINUE;
}

bool SpoolerJob::finish() {
    if (!state_->documentStarted) return false;
    state_->finished = cupsFinishDocument(state_->http.get(), state_->printerName.c_str()) <= IPP_STATUS_OK_EVENTS_COMPLETE;
    return state_->finished;
}

}  // namespace mk::platform
