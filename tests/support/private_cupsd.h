#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace mk::testing {

// A print scheduler of the test's own: its configuration, spool and logs in
// a fresh temporary folder, reached only through a socket in that folder.
// Points this process's print clients at it (CUPS_SERVER) while it lives;
// its destructor stops it by its process id and removes the folder.
class PrivateCupsd {
public:
    // extraConfig: further scheduler directives, one per line.
    explicit PrivateCupsd(const std::string& extraConfig = {});
    ~PrivateCupsd();
    PrivateCupsd(const PrivateCupsd&) = delete;
    PrivateCupsd& operator=(const PrivateCupsd&) = delete;

    // False when the scheduler did not start; log() then says why.
    bool ready() const { return ready_; }
    const std::string& socketPath() const { return socketPath_; }
    std::string log() const;

    // A raw queue whose device is a raw TCP printer at address:port.
    bool addRawQueue(const std::string& name, const std::string& address, int port);
    // Makes a queue refuse new jobs.
    bool rejectJobs(const std::string& name);

    struct Job {
        int id = 0;
        std::string title;
        int state = 0;  // the IPP job state: 3 pending ... 7 cancelled, 9 completed
    };
    // Every job the queue has seen, finished ones included.
    std::vector<Job> jobs(const std::string& name) const;

private:
    // Runs a scheduler client program; true when it exits 0 within 15 s.
    bool runClient(const std::vector<std::string>& arguments) const;

    std::string directory_;
    std::string socketPath_;
    pid_t pid_ = -1;
    bool ready_ = false;
};

}  // namespace mk::testing
