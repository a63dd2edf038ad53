#include "support/fake_usb_device.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <system_error>

namespace mk::test {
namespace {

namespace fs = std::filesystem;
using platform::UsbOutcome;
using platform::UsbTransfer;
using Clock = std::chrono::steady_clock;

constexpr size_t kNoLimit = std::numeric_limits<size_t>::max();

}  // namespace

// ---- FakeUsbDevice ---------------------------------------------------------

std::vector<std::string> FakeUsbDevice::writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
}

std::string FakeUsbDevice::received() const {
    std::lock_guard lock(mutex_);
    std::string all;
    for (const std::string& write : writes_) all += write;
    return all;
}

bool FakeUsbDevice::waitForReceived(size_t bytes, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return receivedBytes_ >= bytes; });
}

void FakeUsbDevice::answer(std::string_view bytes) {
    std::lock_guard lock(mutex_);
    answers_.emplace_back(bytes);
    changed_.notify_all();
}

void FakeUsbDevice::endAnswersByTimeOut() {
    std::lock_guard lock(mutex_);
    answersEndByTimeOut_ = true;
}

int FakeUsbDevice::reads() const {
    std::lock_guard lock(mutex_);
    return reads_;
}

void FakeUsbDevice::setStatusReplies(std::vector<std::optional<uint8_t>> replies) {
    std::lock_guard lock(mutex_);
    statusReplies_ = replies.empty() ? std::vector<std::optional<uint8_t>>{std::optional<uint8_t>(0)} : std::move(replies);
    nextReply_ = 0;
}

int FakeUsbDevice::statusRequests() const {
    std::lock_guard lock(mutex_);
    return statusRequests_;
}

std::vector<platform::UsbAccess> FakeUsbDevice::opens() const {
    std::lock_guard lock(mutex_);
    return opens_;
}

int FakeUsbDevice::openNow() const {
    std::lock_guard lock(mutex_);
    return openNow_;
}

void FakeUsbDevice::refuseOpen(bool refuse) {
    std::lock_guard lock(mutex_);
    refuseOpen_ = refuse;
}

void FakeUsbDevice::stopTaking() { takeOnly(0); }

void FakeUsbDevice::takeOnly(size_t bytes) {
    std::lock_guard lock(mutex_);
    takeBudget_ = bytes;
    changed_.notify_all();
}

void FakeUsbDevice::resumeTaking() {
    std::lock_guard lock(mutex_);
    takeBudget_.reset();
    changed_.notify_all();
}

void FakeUsbDevice::refuseAfter(size_t bytes) {
    std::lock_guard lock(mutex_);
    refuseAt_ = bytes;
    changed_.notify_all();
}

void FakeUsbDevice::cutWrite(size_t index, size_t bytes) {
    std::lock_guard lock(mutex_);
    cut_.emplace(index, bytes);
}

void FakeUsbDevice::failTransfers(std::optional<UsbOutcome> outcome) {
    std::lock_guard lock(mutex_);
    failure_ = outcome;
    changed_.notify_all();
}

void FakeUsbDevice::unplug() {
    std::lock_guard lock(mutex_);
    gone_ = true;
    std::error_code ignored;
    fs::remove_all(sysfsEntry_, ignored);
    changed_.notify_all();
}

std::unique_ptr<platform::UsbDevice> FakeUsbDevice::open(platform::UsbAccess access) {
    std::lock_guard lock(mutex_);
    if (refuseOpen_ || gone_) return nullptr;
    opens_.push_back(access);
    ++openNow_;
    return std::make_unique<FakeUsbHandle>(*this);
}

void FakeUsbDevice::closed() {
    std::lock_guard lock(mutex_);
    --openNow_;
}

// Takes what the printer's state allows as it changes, until the transfer is
// done, the printer refuses or goes, or the time-out passes.
UsbTransfer FakeUsbDevice::write(const void* data, size_t size, std::chrono::milliseconds timeout,
                                  const bool* cancelled) {
    std::unique_lock lock(mutex_);
    if (gone_) return {UsbOutcome::Gone, 0};
    if (failure_) return {*failure_, 0};
    const auto* bytes = static_cast<const char*>(data);
    const size_t transfer = writeTransfers_++;
    std::string taken;
    const auto finish = [&](UsbOutcome outcome) {
        const size_t moved = taken.size();
        if (moved > 0) writes_.push_back(std::move(taken));
        changed_.notify_all();
        return UsbTransfer{outcome, moved};
    };
    if (cut_ && cut_->first == transfer) {
        taken.assign(bytes, std::min(size, cut_->second));
        receivedBytes_ += taken.size();
        return finish(UsbOutcome::Done);
    }
    const Clock::time_point deadline = Clock::now() + timeout;
    for (;;) {
        if (gone_) return finish(UsbOutcome::Gone);
        const size_t room = refuseAt_ ? (*refuseAt_ > receivedBytes_ ? *refuseAt_ - receivedBytes_ : 0) : kNoLimit;
        if (room == 0 && taken.size() < size) return finish(UsbOutcome::Refused);
        const size_t now = std::min({size - taken.size(), takeBudget_.value_or(kNoLimit), room});
        if (now > 0) {
            taken.append(bytes + taken.size(), now);
            receivedBytes_ += now;
            if (takeBudget_) *takeBudget_ -= now;
            changed_.notify_all();
        }
        if (taken.size() == size) return finish(UsbOutcome::Done);
        if (cancelled != nullptr && *cancelled) return finish(UsbOutcome::TimedOut);
        if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) return finish(UsbOutcome::TimedOut);
    }
}

UsbTransfer FakeUsbDevice::read(void* buffer, size_t size, std::chrono::milliseconds timeout,
                                 const bool* cancelled) {
    std::unique_lock lock(mutex_);
    ++reads_;
    changed_.wait_for(lock, timeout, [&] {
        return gone_ || failure_ || !answers_.empty() || (cancelled != nullptr && *cancelled);
    });
    if (gone_) return {UsbOutcome::Gone, 0};
    if (failure_) return {*failure_, 0};
    if (answers_.empty()) return {UsbOutcome::TimedOut, 0};
    const std::string answer = std::move(answers_.front());
    answers_.pop_front();
    const size_t moved = std::min(size, answer.size());
    std::memcpy(buffer, answer.data(), moved);
    return {answersEndByTimeOut_ ? UsbOutcome::TimedOut : UsbOutcome::Done, moved};
}

void FakeUsbDevice::cancel(bool* flag) {
    std::lock_guard lock(mutex_);
    *flag = true;
    changed_.notify_all();
}

std::optional<uint8_t> FakeUsbDevice::status() {
    std::lock_guard lock(mutex_);
    ++statusRequests_;
    if (gone_ || failure_) return std::nullopt;
    return statusReplies_[std::min(nextReply_++, statusReplies_.size() - 1)];
}

// ---- FakeUsbBus, what both systems share -----------------------------------

FakeUsbDevice& FakeUsbBus::plugPrinter(const std::string& serial, std::string_view vendorId,
                                       std::string_view productId) {
    return plug(vendorId, productId, serial);
}

FakeUsbDevice& FakeUsbBus::add(std::unique_ptr<FakeUsbDevice> device) {
    devices_.push_back(std::move(device));
    return *devices_.back();
}

}  // namespace mk::test
