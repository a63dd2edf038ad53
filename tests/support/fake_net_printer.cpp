#include "support/fake_net_printer.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "support/loopback.h"
#include "support/test_sockets.h"

namespace mk::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRawPort = 9100;
constexpr int kStatusPort = 59100;
// No exchange of the fake lasts longer, whatever its peer does.
constexpr auto kConnectionLimit = std::chrono::seconds(30);
constexpr auto kCallbackLimit = std::chrono::seconds(5);

int millisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Listens on address:port; -1 when the address is taken.
int openListener(const std::string& address, int port, std::size_t pieceBytes) {
    const int fd = openSocket();
    if (fd < 0) return -1;
    setSocketOption(fd, SOL_SOCKET, SO_REUSEADDR, 1);
    if (pieceBytes > 0) setSocketOption(fd, SOL_SOCKET, SO_RCVBUF, 2048);  // accepted connections inherit it
    const sockaddr_in local = socketAddress(address, port);
    // A long queue: a sender printing label after label may run well ahead
    // of this one thread, and a full queue would stall it for a second.
    if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 || listen(fd, 128) != 0) {
        closeSocket(fd);
        return -1;
    }
    return fd;
}

bool parseCallbackCommand(const std::string& job, int& port, std::string& address) {
    const std::size_t end = job.find("\r\n");
    if (job.rfind("NB", 0) != 0 || end == std::string::npos) return false;
    char text[64] = {};
    const std::string line = job.substr(0, end);
    if (std::sscanf(line.c_str(), "NB%d,%63[^,],1", &port, text) != 2) return false;
    address = text;
    return line == "NB" + std::to_string(port) + "," + address + ",1";
}

}  // namespace

FakeNetPrinter::FakeNetPrinter(const Options& options) : options_(options) {
    if (!openWakePair(stopPipe_)) throw std::runtime_error("fake printer: no wake-up pair");
    // A stray socket of another process may hold an address: take the next,
    // unless the test named the address.
    const int attempts = options_.address.empty() ? 20 : 1;
    for (int attempt = 0; attempt < attempts && !listening_; ++attempt) {
        address_ = options_.address.empty() ? uniqueLoopbackAddress() : options_.address;
        if (options_.raw != Behaviour::Refuse) rawListener_ = openListener(address_, kRawPort, options_.pieceBytes);
        if (options_.status != Behaviour::Refuse) statusListener_ = openListener(address_, kStatusPort, 0);
        const bool rawReady = options_.raw == Behaviour::Refuse || rawListener_ >= 0;
        const bool statusReady = options_.status == Behaviour::Refuse || statusListener_ >= 0;
        listening_ = rawReady && statusReady;
        if (listening_) break;
        if (rawListener_ >= 0) closeSocket(rawListener_);
        if (statusListener_ >= 0) closeSocket(statusListener_);
        rawListener_ = statusListener_ = -1;
    }
    foreignAddress_ = uniqueLoopbackAddress();
    thread_ = std::thread([this] { serve(); });
}

FakeNetPrinter::~FakeNetPrinter() {
    wake(stopPipe_[1]);
    thread_.join();
    for (int fd : {rawListener_, statusListener_, stopPipe_[0], stopPipe_[1]}) {
        if (fd >= 0) closeSocket(fd);
    }
}

void FakeNetPrinter::setStatusReplies(std::vector<StatusReply> replies) {
    std::lock_guard lock(mutex_);
    statusReplies_ = std::move(replies);
    statusRepliesUsed_ = 0;
}

void FakeNetPrinter::setCallbackAnswer(std::optional<std::string> answer) {
    std::lock_guard lock(mutex_);
    callbackAnswer_ = std::move(answer);
}

void FakeNetPrinter::setForeignCallback(std::optional<std::string> bytes) {
    std::lock_guard lock(mutex_);
    foreignCallback_ = std::move(bytes);
}

std::vector<std::string> FakeNetPrinter::jobs() const {
    std::lock_guard lock(mutex_);
    return jobs_;
}

std::size_t FakeNetPrinter::jobCount() const {
    std::lock_guard lock(mutex_);
    return jobCount_;
}

std::vector<std::string> FakeNetPrinter::statusRequests() const {
    std::lock_guard lock(mutex_);
    return statusRequests_;
}

std::vector<std::string> FakeNetPrinter::callbackTargets() const {
    std::lock_guard lock(mutex_);
    return callbackTargets_;
}

bool FakeNetPrinter::waitForJobs(std::size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return jobCount_ >= count; });
}

bool FakeNetPrinter::waitForCallbacks(std::size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return callbackTargets_.size() >= count; });
}

void FakeNetPrinter::serve() {
    for (;;) {
        pollfd entries[3] = {pollEntry(stopPipe_[0], POLLIN), pollEntry(rawListener_, POLLIN),
                             pollEntry(statusListener_, POLLIN)};
        if (pollSockets(entries, 3, -1) < 0) return;
        if (entries[0].revents != 0) return;
        for (int index : {1, 2}) {
            if ((entries[index].revents & POLLIN) == 0) continue;
            const int connection = acceptSocket(static_cast<int>(entries[index].fd));
            if (connection < 0) continue;
            if (index == 1) {
                serveRaw(connection);
            } else {
                serveStatus(connection);
            }
        }
    }
}

std::string FakeNetPrinter::readAll(int connection, std::size_t pieceBytes, std::size_t maxBytes) {
    const auto deadline = Clock::now() + kConnectionLimit;
    std::string received;
    char buffer[65536];
    const std::size_t piece = pieceBytes > 0 && pieceBytes < sizeof buffer ? pieceBytes : sizeof buffer;
    while (received.size() < maxBytes) {
        pollfd entries[2] = {pollEntry(connection, POLLIN), pollEntry(stopPipe_[0], POLLIN)};
        if (pollSockets(entries, 2, millisecondsLeft(deadline)) <= 0 || entries[1].revents != 0) break;
        const long count = receiveBytes(connection, buffer, std::min(piece, maxBytes - received.size()));
        if (count <= 0) break;
        received.append(buffer, static_cast<std::size_t>(count));
        if (pieceBytes > 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return received;
}

void FakeNetPrinter::recordJob(const std::string& job) {
    ++jobCount_;
    if (options_.keptJobs > 0) {
        if (jobs_.size() >= options_.keptJobs) jobs_.erase(jobs_.begin());
        jobs_.push_back(job);
    }
}

void FakeNetPrinter::serveRaw(int connection) {
    if (options_.raw == Behaviour::Stalled) {
        const std::string taken = readAll(connection, 0, options_.stallAfterBytes);
        {
            std::lock_guard lock(mutex_);
            recordJob(taken);
        }
        changed_.notify_all();
        pollfd stop = pollEntry(stopPipe_[0], POLLIN);
        pollSockets(&stop, 1, millisecondsLeft(Clock::now() + kConnectionLimit));
    }
    if (options_.raw == Behaviour::AcceptAndClose || options_.raw == Behaviour::Stalled) {
        closeSocket(connection);
        return;
    }
    const std::string job = readAll(connection, options_.pieceBytes, std::size_t{64} << 20);
    closeSocket(connection);
    std::optional<std::string> answer;
    std::optional<std::string> foreign;
    {
        std::lock_guard lock(mutex_);
        recordJob(job);
        answer = callbackAnswer_;
        foreign = foreignCallback_;
    }
    changed_.notify_all();
    CallbackCommand command;
    if (options_.raw != Behaviour::Answer || !parseCallbackCommand(job, command.port, command.address)) return;
    if (foreign) callBack(command, foreignAddress_, *foreign);
    if (answer) callBack(command, address_, *answer);
}

void FakeNetPrinter::serveStatus(int connection) {
    if (options_.status == Behaviour::AcceptAndClose) {
        closeSocket(connection);
        return;
    }
    const std::string request = readAll(connection, 0, 4);
    StatusReply reply;
    {
        std::lock_guard lock(mutex_);
        statusRequests_.push_back(request);
        if (!statusReplies_.empty()) {
            reply = statusReplies_[std::min(statusRepliesUsed_, statusReplies_.size() - 1)];
            ++statusRepliesUsed_;
        }
    }
    changed_.notify_all();
    if (options_.status == Behaviour::Silent) {
        readAll(connection, 0, std::size_t{1} << 20);  // until the asker gives up
    } else if (reply) {
        sendBytes(connection, &*reply, 1);
    }
    closeSocket(connection);
}

void FakeNetPrinter::callBack(const CallbackCommand& command, const std::string& fromAddress,
                              const std::string& bytes) {
    {
        std::lock_guard lock(mutex_);
        callbackTargets_.push_back(command.address + ":" + std::to_string(command.port));
    }
    changed_.notify_all();
    // The fixtures never send anywhere but loopback.
    if (!isLoopbackAddress(command.address) || command.port <= 0 || command.port > 65535) return;
    const int fd = openSocket(true);
    if (fd < 0) return;
    setSocketOption(fd, SOL_SOCKET, SO_REUSEADDR, 1);
    const sockaddr_in local = socketAddress(fromAddress, 0);
    const sockaddr_in target = socketAddress(command.address, command.port);
    const auto deadline = Clock::now() + kCallbackLimit;
    bool connected = bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 &&
                     (connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0 ||
                      connectInProgress());
    if (connected) {
        pollfd entry = pollEntry(fd, POLLOUT);
        connected = pollSockets(&entry, 1, millisecondsLeft(deadline)) > 0 && pendingError(fd) == 0;
    }
    if (connected) {
        setNonBlocking(fd, false);
        // As a printer does: it answers and waits for the host to hang up, so
        // the host closes first and its side of the connection lingers in
        // TIME_WAIT on the listening port. Nothing to say: it hangs up at once.
        if (bytes.empty()) {
            shutdownSending(fd);
        } else {
            sendBytes(fd, bytes.data(), bytes.size());
        }
        char drain[256];
        for (;;) {
            pollfd entries[2] = {pollEntry(fd, POLLIN), pollEntry(stopPipe_[0], POLLIN)};
            if (pollSockets(entries, 2, millisecondsLeft(deadline)) <= 0 || entries[1].revents != 0) break;
            if (receiveBytes(fd, drain, sizeof drain) <= 0) break;
        }
    }
    closeSocket(fd);
}

}  // namespace mk::test
