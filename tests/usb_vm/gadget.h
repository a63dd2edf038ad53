#pragma once
// USB printers played by the kernel's gadget drivers inside the test
// machine: each gadget is made through configfs and bound to one of
// dummy_hcd's device controllers, and the machine's own USB host (the same
// dummy_hcd) sees it as a printer plugged in.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace usbvm {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Waits until `done` holds, checking every 20 ms, at most `timeout`.
template <class Done>
bool waitUntil(Done done, std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    for (;;) {
        if (done()) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(20ms);
    }
}

std::string readText(const std::string& path);  // first line; empty when absent
void writeText(const std::string& path, const std::string& text);  // throws on failure

// One device as the host sees it: its sysfs folder, its node under
// /dev/bus/usb, its printer interface's folder (interface 0) and usblp's node
// for that interface; each empty while there is none.
std::string hostDeviceOf(const std::string& serial);
std::string hostNodeOf(const std::string& serial);
std::string hostInterfaceOf(const std::string& serial);
std::string lpNodeOf(const std::string& serial);

// A gadget in configfs with one configuration. The function is a printer
// (f_printer, its device side is /dev/g_printerN) or a FunctionFS function
// that a FfsPrinter plays.
class Gadget {
public:
    enum class Kind { Printer, FunctionFs };
    Gadget(const std::string& name, uint16_t vendor, uint16_t product, const std::string& serial, Kind kind);
    Gadget(const Gadget&) = delete;
    Gadget& operator=(const Gadget&) = delete;

    // Plugs the gadget into the given device controller and waits until the
    // host has enumerated it and, when usblp is loaded, bound usblp to it.
    void plug(const std::string& udc);
    // Pulls the plug at once (the gadget leaves its controller); waits until
    // the host saw the device go.
    void unplug();

    const std::string& serial() const { return serial_; }
    const std::string& functionName() const { return function_; }

private:
    std::string dir_;
    std::string serial_;
    std::string function_;
};

// The device side of an f_printer gadget: reads everything the host writes
// and answers the commands it is told to answer.
class PrinterSide {
public:
    explicit PrinterSide(const std::string& node);
    ~PrinterSide();
    PrinterSide(const PrinterSide&) = delete;
    PrinterSide& operator=(const PrinterSide&) = delete;

    void setStatus(uint8_t status);
    // Sends bytes now, unasked: they wait in the device until the host reads.
    void send(const std::string& bytes);
    // Stops taking the host's bytes (its writes then wait) until resumed.
    void pause(bool paused) { paused_ = paused; }
    std::string received() const;
    void clear();
    bool waitForBytes(size_t count, std::chrono::milliseconds timeout) const;

    // When the host's bytes contain `command`, the printer answers `reply`
    // at once (the command may arrive in any number of pieces).
    void answer(const std::string& command, const std::string& reply);
    int answersSent() const { return answersSent_; }

private:
    void run();

    int fd_ = -1;
    mutable std::mutex mutex_;
    std::string received_;
    size_t scanned_ = 0;
    std::vector<std::pair<std::string, std::string>> replies_;
    std::atomic<int> answersSent_{0};
    std::atomic<bool> stop_{false};
    std::atomic<bool> paused_{false};
    std::thread thread_;
};

// A printer-class interface played through FunctionFS: it answers the
// printer-class requests itself and takes the host's data only as its test
// tells it to, so that it can refuse data (a stalled endpoint) or hold back
// the last chunk while it is unplugged.
class FfsPrinter {
public:
    explicit FfsPrinter(const std::string& mountPoint);
    ~FfsPrinter();
    FfsPrinter(const FfsPrinter&) = delete;
    FfsPrinter& operator=(const FfsPrinter&) = delete;

    enum class AfterLimit { Refuse, Hold };
    // Takes `limit` bytes, then stalls its endpoint (Refuse) or stops taking
    // (Hold). Call again for every job.
    void takeUpTo(size_t limit, AfterLimit after);
    // Answers no request at all from now on (the host's waits for them run
    // out), or answers them again.
    void ignoreRequests(bool ignore) { ignoreRequests_ = ignore; }
    size_t taken() const { return job_->taken; }
    bool reachedLimit() const { return job_->reached; }
    // What the device side is doing, for a failure's detail.
    std::string state() const;

private:
    // One job's counts, shared with its data thread: a read waiting for
    // bytes that never come cannot be cut short, so that thread may be left
    // to the end of the process and outlive this object or the next job.
    struct Job {
        std::atomic<size_t> taken{0};
        std::atomic<bool> reached{false};
        std::atomic<int> opened{0};  // 1 once its endpoint is open, -errno when that failed
    };

    void serveControl();
    static void serveData(const std::string& endpoint, Job& job, size_t limit, AfterLimit after);

    std::string mountPoint_;
    int ep0_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<bool> ignoreRequests_{false};
    std::atomic<int> answering_{-1};  // the request being answered, -1 when none
    std::shared_ptr<Job> job_ = std::make_shared<Job>();
    std::thread control_;
    std::thread data_;
};

}  // namespace usbvm
