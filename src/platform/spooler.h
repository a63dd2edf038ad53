#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace mk::platform {

// One RAW job for a named print queue of the system's print scheduler, taken
// step by step. A job that was created and not finished is cancelled when the
// holder goes, so that no half job stays queued to print.
class SpoolerJob {
public:
    SpoolerJob();
    ~SpoolerJob();
    SpoolerJob(const SpoolerJob&) = delete;
    SpoolerJob& operator=(const SpoolerJob&) = delete;

    // Reaches the scheduler and checks that the queue exists.
    bool open(const std::string& printerName);
    // Creates the job under this title.
    bool create(const std::string& title);
    // Starts the job's one document, in the raw format: bytes pass unchanged.
    bool startDocument();
    // One write that must take every byte.
    bool write(const void* data, std::size_t length);
    // Ends the document; true when the scheduler accepted it.
    bool finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace mk::platform
