#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace mk::test {

// A network label printer on a loopback address of its own: the raw print
// port 9100 records every connection's bytes as one job, the status port
// 59100 answers "PS\r\n" with scripted bytes, and a job that begins with a
// call-back command ("NB<port>,<address>,1\r\n") is answered by connecting
// back from the address the printer listens on, sending the answer and
// hanging up only after the host has. It serves one connection at a time on
// one thread, which its destructor stops.
class FakeNetPrinter {
public:
    // How a port treats a connection.
    enum class Behaviour {
        Answer,          // as a printer does
        Refuse,          // nothing listens: connections are refused
        AcceptAndClose,  // accepts and closes without reading or sending a byte
        Silent,          // reads what comes but never answers or calls back
        Stalled,         // accepts, reads stallAfterBytes, then nothing until the printer stops
    };

    struct Options {
        Behaviour raw = Behaviour::Answer;
        Behaviour status = Behaviour::Answer;
        // Above 0: the raw port reads at most this many bytes at a time, with
        // a small receive buffer and a pause between reads, so that senders
        // meet a full socket.
        std::size_t pieceBytes = 0;
        // Only this many of the latest jobs are kept (every job is still
        // counted), so that a long run of prints holds no more memory.
        std::size_t keptJobs = SIZE_MAX;
        std::size_t stallAfterBytes = 0;
        // Listens here (for instance 127.0.0.1) instead of on a loopback
        // address of its own; see listening().
        std::string address{};
    };

    // One status reply: the byte sent back, or nothing (close without a byte).
    using StatusReply = std::optional<unsigned char>;

    FakeNetPrinter() : FakeNetPrinter(Options{}) {}
    explicit FakeNetPrinter(const Options& options);
    ~FakeNetPrinter();
    FakeNetPrinter(const FakeNetPrinter&) = delete;
    FakeNetPrinter& operator=(const FakeNetPrinter&) = delete;

    const std::string& address() const { return address_; }
    // False when a port it should listen on was taken.
    bool listening() const { return listening_; }

    // Replies to successive status requests; the last one repeats. Default:
    // '0' (ready).
    void setStatusReplies(std::vector<StatusReply> replies);

    // What the printer sends when it calls back: the bytes, or no call-back
    // at all (nullopt, the default). An empty text connects and closes.
    void setCallbackAnswer(std::optional<std::string> answer);
    // Before its own call-back, a stranger on another loopback address
    // connects to the same listener and sends these bytes.
    void setForeignCallback(std::optional<std::string> bytes);

    // What the printer has received and done so far.
    std::vector<std::string> jobs() const;            // raw port, one per connection
    std::size_t jobCount() const;                     // every job received, kept or not
    std::vector<std::string> statusRequests() const;  // status port, bytes per connection
    std::vector<std::string> callbackTargets() const; // "address:port" called back to
    // Waits (bounded) until this many raw jobs were recorded.
    bool waitForJobs(std::size_t count, std::chrono::milliseconds limit) const;
    // Waits (bounded) until this many call-backs (own or foreign) were made.
    bool waitForCallbacks(std::size_t count, std::chrono::milliseconds limit) const;

private:
    struct CallbackCommand {
        int port = 0;
        std::string address{};
    };

    void serve();
    void serveRaw(int connection);
    void recordJob(const std::string& job);  // with mutex_ held
    void serveStatus(int connection);
    void callBack(const CallbackCommand& command, const std::string& fromAddress, const std::string& bytes);
    // Reads until the peer closes, the limit passes or the printer stops.
    std::string readAll(int connection, std::size_t pieceBytes, std::size_t maxBytes);

    Options options_;
    std::string address_;
    std::string foreignAddress_;
    bool listening_ = false;
    int rawListener_ = -1;
    int statusListener_ = -1;
    int stopPipe_[2] = {-1, -1};

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<StatusReply> statusReplies_{StatusReply{'0'}};
    std::size_t statusRepliesUsed_ = 0;
    std::optional<std::string> callbackAnswer_;
    std::optional<std::string> foreignCallback_;
    std::vector<std::string> jobs_;
    std::size_t jobCount_ = 0;
    std::vector<std::string> statusRequests_;
    std::vector<std::string> callbackTargets_;

    std::thread thread_;
};

}  // namespace mk::test
