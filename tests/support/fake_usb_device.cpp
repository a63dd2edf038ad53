#include "support/fake_usb_device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace mk::test {
namespace {

namespace fs = std::filesystem;

// The longest write the library makes is one chunk; anything up to this
// arrives whole.
constexpr size_t kLargestPacket = 64 * 1024;
// The taker re-checks its state at least this often, so no wait of it is
// unbounded even if a wake-up were lost.
constexpr int kTakerTick = 200;  // ms

[[noreturn]] void fail(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

void writeFile(const fs::path& path, std::string_view text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

// ---- FakeUsbDevice ---------------------------------------------------------

FakeUsbDevice::FakeUsbDevice(std::string devicePath) : devicePath_(std::move(devicePath)) {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) fail("socketpair");
    hostEnd_ = ends[0];
    deviceEnd_ = ends[1];
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) fail("eventfd");
    struct stat host {};
    if (::fstat(hostEnd_, &host) != 0) fail("fstat");
    hostDev_ = host.st_dev;
    hostIno_ = host.st_ino;
    taker_ = std::thread([this] { takeWrites(); });
}

FakeUsbDevice::~FakeUsbDevice() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake();
    taker_.join();
    ::close(hostEnd_);
    ::close(deviceEnd_);
    ::close(wakeFd_);
}

void FakeUsbDevice::wake() const {
    const uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
}

// The device's side: takes every packet the host writes, unless told to stop.
void FakeUsbDevice::takeWrites() {
    std::vector<char> packet(kLargestPacket);
    for (;;) {
        bool taking = false;
        {
            std::lock_guard lock(mutex_);
            if (stopping_) return;
            taking = taking_;
        }
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {deviceEnd_, static_cast<short>(taking ? POLLIN : 0), 0}};
        if (::poll(fds, 2, kTakerTick) <= 0) continue;
        if (fds[0].revents & POLLIN) {
            uint64_t count = 0;
            (void)!::read(wakeFd_, &count, sizeof count);
        }
        if (!(fds[1].revents & POLLIN)) continue;
        // Under the lock, so that nothing is taken once stopTaking() returned.
        std::lock_guard lock(mutex_);
        if (!taking_) continue;
        const ssize_t n = ::recv(deviceEnd_, packet.data(), packet.size(), MSG_DONTWAIT);
        if (n <= 0) continue;
        writes_.emplace_back(packet.data(), static_cast<size_t>(n));
        receivedBytes_ += static_cast<size_t>(n);
        arrived_.notify_all();
    }
}

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
    return arrived_.wait_for(lock, timeout, [&] { return receivedBytes_ >= bytes; });
}

void FakeUsbDevice::answer(std::string_view bytes) {
    if (::send(deviceEnd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT) != static_cast<ssize_t>(bytes.size())) {
        fail("answer");
    }
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

void FakeUsbDevice::refuseOpen(bool refuse) {
    std::lock_guard lock(mutex_);
    refuseOpen_ = refuse;
}

void FakeUsbDevice::stopTaking() {
    {
        std::lock_guard lock(mutex_);
        taking_ = false;
    }
    wake();
}

void FakeUsbDevice::resumeTaking() {
    {
        std::lock_guard lock(mutex_);
        taking_ = true;
    }
    wake();
}

void FakeUsbDevice::cutWrite(size_t index, size_t bytes) {
    std::lock_guard lock(mutex_);
    cut_.emplace(index, bytes);
}

void FakeUsbDevice::failWrites(bool fail) {
    std::lock_guard lock(mutex_);
    failWrites_ = fail;
}

bool FakeUsbDevice::owns(int fd) const {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && st.st_dev == hostDev_ && st.st_ino == hostIno_;
}

int FakeUsbDevice::open(platform::UsbAccess access) {
    {
        std::lock_guard lock(mutex_);
        if (refuseOpen_) {
            errno = EBUSY;
            return -1;
        }
        opens_.push_back(access);
    }
    // A socket cannot be opened by name: every open is a descriptor of the
    // same host end, as every open of a node reaches the same device.
    const int fd = ::fcntl(hostEnd_, F_DUPFD_CLOEXEC, 0);
    if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

long FakeUsbDevice::write(int fd, const void* data, size_t size) {
    std::unique_lock lock(mutex_);
    if (failWrites_) {
        errno = EIO;
        return -1;
    }
    if (cut_ && cut_->first == writesMade_) size = std::min(size, cut_->second);
    lock.unlock();
    // MSG_NOSIGNAL: a real printer node never raises SIGPIPE.
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) {
        lock.lock();
        ++writesMade_;
    }
    return n;
}

std::optional<uint8_t> FakeUsbDevice::status() {
    std::lock_guard lock(mutex_);
    ++statusRequests_;
    return statusReplies_[std::min(nextReply_++, statusReplies_.size() - 1)];
}

// ---- FakeUsbBus ------------------------------------------------------------

FakeUsbBus::FakeUsbBus() {
    std::string pattern = (fs::temp_directory_path() / "mklabel-usb-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) fail("mkdtemp");
    root_ = pattern;
    sysfsRoot_ = root_ / "sys";
    devRoot_ = root_ / "dev";
    fs::create_directories(sysfsRoot_ / "class" / "usbmisc");
    fs::create_directories(sysfsRoot_ / "devices" / "fake-hcd" / "usb1");
    fs::create_directories(devRoot_ / "usb");
    installed_ = std::make_unique<platform::ScopedUsbDriver>(*this);
}

FakeUsbBus::~FakeUsbBus() {
    installed_.reset();
    devices_.clear();
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

// A USB device with one interface; returns the interface's folder.
fs::path FakeUsbBus::makeUsbDevice(std::string_view vendorId, std::string_view productId,
                                   const std::optional<std::string>& serial) {
    const std::string name = "1-" + std::to_string(nextPort_++);
    const fs::path device = sysfsRoot_ / "devices" / "fake-hcd" / "usb1" / name;
    const fs::path interface = device / (name + ":1.0");
    fs::create_directories(interface);
    writeFile(device / "idVendor", std::string(vendorId) + "\n");
    writeFile(device / "idProduct", std::string(productId) + "\n");
    if (serial) writeFile(device / "serial", *serial + "\n");
    return interface;
}

FakeUsbDevice& FakeUsbBus::plugPrinter(const std::string& serial, std::string_view vendorId,
                                       std::string_view productId) {
    return plug(vendorId, productId, serial);
}

FakeUsbDevice& FakeUsbBus::plug(std::string_view vendorId, std::string_view productId,
                                std::optional<std::string> serial, std::optional<unsigned> lpNumber) {
    const unsigned number = lpNumber.value_or(nextLp_);
    nextLp_ = std::max(nextLp_, number + 1);
    const std::string name = "lp" + std::to_string(number);
    const fs::path interface = makeUsbDevice(vendorId, productId, serial);
    const fs::path entry = sysfsRoot_ / "class" / "usbmisc" / name;
    fs::create_directories(entry);
    fs::create_directory_symlink(interface, entry / "device");
    const fs::path node = devRoot_ / "usb" / name;
    writeFile(node, "");
    devices_.push_back(std::unique_ptr<FakeUsbDevice>(new FakeUsbDevice(node.string())));
    return *devices_.back();
}

void FakeUsbBus::addDanglingEntry(unsigned lpNumber) {
    nextLp_ = std::max(nextLp_, lpNumber + 1);
    const fs::path entry = sysfsRoot_ / "class" / "usbmisc" / ("lp" + std::to_string(lpNumber));
    fs::create_directories(entry);
    fs::create_directory_symlink(sysfsRoot_ / "devices" / "gone", entry / "device");
}

void FakeUsbBus::addOtherEntry(const std::string& name, std::string_view vendorId, std::string_view productId) {
    const fs::path interface = makeUsbDevice(vendorId, productId, "OTHER");
    const fs::path entry = sysfsRoot_ / "class" / "usbmisc" / name;
    fs::create_directories(entry);
    fs::create_directory_symlink(interface, entry / "device");
}

void FakeUsbBus::breakClassFolder() {
    const fs::path classDir = sysfsRoot_ / "class" / "usbmisc";
    fs::remove_all(classDir);
    writeFile(classDir, "");  // a file where the folder was: listing it fails with ENOTDIR
}

FakeUsbDevice* FakeUsbBus::deviceOf(int fd) const {
    for (const auto& device : devices_) {
        if (device->owns(fd)) return device.get();
    }
    return nullptr;
}

std::optional<std::vector<platform::UsbPrinterNode>> FakeUsbBus::listPrinters() const {
    return platform::scanUsblp(sysfsRoot_, devRoot_);
}

int FakeUsbBus::openDevice(const std::string& devicePath, platform::UsbAccess access) const {
    for (const auto& device : devices_) {
        if (device->devicePath() == devicePath) return device->open(access);
    }
    errno = ENOENT;
    return -1;
}

long FakeUsbBus::writeSome(int fd, const void* data, size_t size) const {
    FakeUsbDevice* device = deviceOf(fd);
    return device != nullptr ? device->write(fd, data, size) : UsbDriver::writeSome(fd, data, size);
}

std::optional<uint8_t> FakeUsbBus::portStatus(int fd) const {
    FakeUsbDevice* device = deviceOf(fd);
    if (device == nullptr) {
        errno = ENOTTY;
        return std::nullopt;
    }
    return device->status();
}

}  // namespace mk::test
