#include "gadget.h"

#include <endian.h>
#include <fcntl.h>
#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>
#include <linux/usb/g_printer.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace usbvm {
namespace {

namespace fs = std::filesystem;

const std::string kGadgets = "/sys/kernel/config/usb_gadget/";
const std::string kHostDevices = "/sys/bus/usb/devices/";

[[noreturn]] void fail(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

std::string hex4(uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04x", value);
    return text;
}

bool usblpLoaded() { return fs::exists("/sys/module/usblp"); }

// Writes all of it, retrying while the gadget's queue is full, for at most 5 s.
void writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    waitUntil(
        [&] {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n > 0) done += static_cast<size_t>(n);
            return done == bytes.size() || (n < 0 && errno != EAGAIN && errno != EINTR);
        },
        5000ms);
}

// FunctionFS descriptors of a two-way printer interface: bulk OUT (ep1),
// bulk IN (ep2), at full and high speed.
struct [[gnu::packed]] InterfaceDescriptors {
    usb_interface_descriptor interface;
    usb_endpoint_descriptor_no_audio out;
    usb_endpoint_descriptor_no_audio in;
};

InterfaceDescriptors printerInterface(uint16_t packet) {
    InterfaceDescriptors d{};
    d.interface = {USB_DT_INTERFACE_SIZE, USB_DT_INTERFACE, 0, 0, 2, USB_CLASS_PRINTER, 1, 2, 1};
    d.out = {USB_DT_ENDPOINT_SIZE, USB_DT_ENDPOINT, 1 | USB_DIR_OUT, USB_ENDPOINT_XFER_BULK, htole16(packet), 0};
    d.in = {USB_DT_ENDPOINT_SIZE, USB_DT_ENDPOINT, 2 | USB_DIR_IN, USB_ENDPOINT_XFER_BULK, htole16(packet), 0};
    return d;
}

struct [[gnu::packed]] Descriptors {
    usb_functionfs_descs_head_v2 head;
    uint32_t fsCount;
    uint32_t hsCount;
    InterfaceDescriptors fs;
    InterfaceDescriptors hs;
};

struct [[gnu::packed]] Strings {
    usb_functionfs_strings_head head;
    uint16_t language;
    char interface[8];
};

constexpr uint8_t kGetDeviceId = 0;
constexpr uint8_t kGetPortStatus = 1;
constexpr uint8_t kSoftReset = 2;

}  // namespace

std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

void writeText(const std::string& path, const std::string& text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) fail("open " + path);
    const ssize_t n = ::write(fd, text.data(), text.size());
    const int saved = errno;
    ::close(fd);
    errno = saved;
    if (n != static_cast<ssize_t>(text.size())) fail("write " + path);
}

std::string hostDeviceOf(const std::string& serial) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(kHostDevices, error)) {
        const std::string name = entry.path().filename().string();
        if (name.find(':') != std::string::npos) continue;
        if (readText(entry.path().string() + "/serial") == serial) return entry.path().string();
    }
    return {};
}

std::string hostInterfaceOf(const std::string& serial) {
    const std::string device = hostDeviceOf(serial);
    return device.empty() ? device : device + "/" + fs::path(device).filename().string() + ":1.0";
}

std::string lpNodeOf(const std::string& serial) {
    const std::string interface = hostInterfaceOf(serial);
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(interface + "/usbmisc", error)) {
        return "/dev/usb/" + entry.path().filename().string();
    }
    return {};
}

std::string hostNodeOf(const std::string& serial) {
    const std::string device = hostDeviceOf(serial);
    if (device.empty()) return {};
    char node[64];
    std::snprintf(node, sizeof node, "/dev/bus/usb/%03d/%03d", std::atoi(readText(device + "/busnum").c_str()),
                  std::atoi(readText(device + "/devnum").c_str()));
    return node;
}

// ---- Gadget -----------------------------------------------------------------

Gadget::Gadget(const std::string& name, uint16_t vendor, uint16_t product, const std::string& serial, Kind kind)
    : dir_(kGadgets + name), serial_(serial) {
    fs::create_directory(dir_);
    writeText(dir_ + "/idVendor", hex4(vendor));
    writeText(dir_ + "/idProduct", hex4(product));
    writeText(dir_ + "/bcdUSB", "0x0200");
    fs::create_directories(dir_ + "/strings/0x409");
    writeText(dir_ + "/strings/0x409/serialnumber", serial);
    writeText(dir_ + "/strings/0x409/manufacturer", "Test");
    writeText(dir_ + "/strings/0x409/product", "Label printer");
    fs::create_directories(dir_ + "/configs/c.1/strings/0x409");
    writeText(dir_ + "/configs/c.1/strings/0x409/configuration", "printer");
    if (kind == Kind::Printer) {
        function_ = "printer." + name;
        fs::create_directory(dir_ + "/functions/" + function_);
        // f_printer drops the last two characters of this string.
        writeText(dir_ + "/functions/" + function_ + "/pnp_string", "MFG:Test;MDL:Label;CMD:ZPL;CLS:PRINTER;..");
    } else {
        function_ = "ffs." + name;
        fs::create_directory(dir_ + "/functions/" + function_);
    }
    fs::create_directory_symlink(dir_ + "/functions/" + function_, dir_ + "/configs/c.1/" + function_);
}

void Gadget::plug(const std::string& udc) {
    writeText(dir_ + "/UDC", udc);
    const bool seen = waitUntil(
        [&] {
            const std::string interface = hostInterfaceOf(serial_);
            return !interface.empty() && (!usblpLoaded() || fs::exists(interface + "/driver"));
        },
        20000ms);
    if (!seen) throw std::runtime_error("the host did not take up gadget " + serial_);
}

void Gadget::unplug() {
    writeText(dir_ + "/UDC", "\n");
    if (!waitUntil([&] { return hostDeviceOf(serial_).empty(); }, 20000ms)) {
        throw std::runtime_error("the host still shows gadget " + serial_);
    }
}

// ---- PrinterSide --------------------------------------------------------------

PrinterSide::PrinterSide(const std::string& node) {
    fd_ = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) fail("open " + node);
    thread_ = std::thread([this] { run(); });
}

PrinterSide::~PrinterSide() {
    stop_ = true;
    thread_.join();
    ::close(fd_);
}

void PrinterSide::setStatus(uint8_t status) {
    if (::ioctl(fd_, GADGET_SET_PRINTER_STATUS, static_cast<unsigned long>(status)) < 0) fail("set printer status");
}

void PrinterSide::send(const std::string& bytes) { writeAll(fd_, bytes); }

std::string PrinterSide::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

void PrinterSide::clear() {
    std::lock_guard lock(mutex_);
    received_.clear();
    scanned_ = 0;
}

bool PrinterSide::waitForBytes(size_t count, std::chrono::milliseconds timeout) const {
    return waitUntil([&] { return received().size() >= count; }, timeout);
}

void PrinterSide::answer(const std::string& command, const std::string& reply) {
    std::lock_guard lock(mutex_);
    replies_.emplace_back(command, reply);
}

void PrinterSide::run() {
    std::vector<char> buffer(64 * 1024);
    while (!stop_) {
        if (paused_) {
            std::this_thread::sleep_for(20ms);
            continue;
        }
        pollfd entry{fd_, POLLIN, 0};
        if (::poll(&entry, 1, 50) <= 0) continue;
        const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
        if (n <= 0) continue;
        std::vector<std::string> toSend;
        {
            std::lock_guard lock(mutex_);
            received_.append(buffer.data(), static_cast<size_t>(n));
            // Answer every command in the order it arrived.
            for (;;) {
                size_t first = std::string::npos;
                const std::pair<std::string, std::string>* which = nullptr;
                for (const auto& reply : replies_) {
                    const size_t at = received_.find(reply.first, scanned_);
                    if (at < first) {
                        first = at;
                        which = &reply;
                    }
                }
                if (which == nullptr) break;
                toSend.push_back(which->second);
                scanned_ = first + which->first.size();
            }
        }
        for (const std::string& reply : toSend) {
            writeAll(fd_, reply);
            ++answersSent_;
        }
    }
}

// ---- FfsPrinter ---------------------------------------------------------------

FfsPrinter::FfsPrinter(const std::string& mountPoint) : mountPoint_(mountPoint) {
    ep0_ = ::open((mountPoint + "/ep0").c_str(), O_RDWR | O_CLOEXEC);
    if (ep0_ < 0) fail("open ep0");
    Descriptors descriptors{};
    descriptors.head.magic = htole32(FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
    descriptors.head.flags = htole32(FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC);
    descriptors.head.length = htole32(sizeof descriptors);
    descriptors.fsCount = htole32(3);
    descriptors.hsCount = htole32(3);
    descriptors.fs = printerInterface(64);
    descriptors.hs = printerInterface(512);
    if (::write(ep0_, &descriptors, sizeof descriptors) != sizeof descriptors) fail("write descriptors");
    Strings strings{};
    strings.head.magic = htole32(FUNCTIONFS_STRINGS_MAGIC);
    strings.head.length = htole32(sizeof strings);
    strings.head.str_count = htole32(1);
    strings.head.lang_count = htole32(1);
    strings.language = htole16(0x0409);
    std::memcpy(strings.interface, "Printer", 8);
    if (::write(ep0_, &strings, sizeof strings) != sizeof strings) fail("write strings");
    control_ = std::thread([this] { serveControl(); });
}

FfsPrinter::~FfsPrinter() {
    stop_ = true;
    control_.join();
    // A data thread still waiting for bytes that will not come is left to the
    // end of the process; it holds its job's counts itself.
    if (data_.joinable()) data_.detach();
    ::close(ep0_);
}

void FfsPrinter::takeUpTo(size_t limit, AfterLimit after) {
    if (data_.joinable()) {
        if (job_->reached) {
            data_.join();
        } else {
            data_.detach();
        }
    }
    job_ = std::make_shared<Job>();
    data_ = std::thread([endpoint = mountPoint_ + "/ep1", job = job_, limit, after] {
        serveData(endpoint, *job, limit, after);
    });
}

void FfsPrinter::serveData(const std::string& endpoint, Job& job, size_t limit, AfterLimit after) {
    const int fd = ::open(endpoint.c_str(), O_RDWR | O_CLOEXEC);
    job.opened = fd < 0 ? -errno : 1;
    if (fd < 0) return;
    std::vector<char> buffer(512);
    while (job.taken < limit) {
        const ssize_t n = ::read(fd, buffer.data(), std::min(buffer.size(), limit - job.taken));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // unplugged
        job.taken += static_cast<size_t>(n);
    }
    if (after == AfterLimit::Refuse) {
        // Data in the wrong direction makes FunctionFS halt the endpoint.
        (void)!::write(fd, "x", 1);
    }
    job.reached = true;
    ::close(fd);
}

std::string FfsPrinter::state() const {
    return "data endpoint " + std::to_string(job_->opened.load()) + ", answering request " +
           std::to_string(answering_.load());
}

void FfsPrinter::serveControl() {
    bool ignored = false;
    while (!stop_) {
        if (ignoreRequests_) {
            // Not even reading ep0: a read while a request waits would stall it.
            ignored = true;
            std::this_thread::sleep_for(20ms);
            continue;
        }
        pollfd entry{ep0_, POLLIN, 0};
        if (::poll(&entry, 1, ignored ? 0 : 100) <= 0 || ignoreRequests_) {
            ignored = false;
            continue;
        }
        usb_functionfs_event events[4];
        const ssize_t n = ::read(ep0_, events, sizeof events);
        if (n <= 0) continue;
        if (ignored) {
            // Requests that came while requests were ignored: the host gave
            // up on them. An answer to one would wait on the control pipe
            // until the host's next request, and the data pipe behind it.
            ignored = false;
            continue;
        }
        for (size_t i = 0; i < static_cast<size_t>(n) / sizeof events[0]; ++i) {
            if (events[i].type != FUNCTIONFS_SETUP) continue;
            const usb_ctrlrequest& setup = events[i].u.setup;
            const bool toHost = setup.bRequestType & USB_DIR_IN;
            const size_t length = le16toh(setup.wLength);
            const bool classRequest = (setup.bRequestType & USB_TYPE_MASK) == USB_TYPE_CLASS;
            answering_ = setup.bRequest;
            if (classRequest && toHost && setup.bRequest == kGetDeviceId) {
                const std::string id = "MFG:Test;MDL:Refusing;CMD:ZPL;CLS:PRINTER;";
                std::string reply(2, '\0');
                reply[0] = static_cast<char>((id.size() + 2) >> 8);
                reply[1] = static_cast<char>((id.size() + 2) & 0xff);
                reply += id;
                (void)!::write(ep0_, reply.data(), std::min(length, reply.size()));
            } else if (classRequest && toHost && setup.bRequest == kGetPortStatus) {
                const uint8_t status = 0x18;
                (void)!::write(ep0_, &status, std::min<size_t>(length, 1));
            } else if (classRequest && !toHost && setup.bRequest == kSoftReset) {
                (void)!::read(ep0_, nullptr, 0);
            } else if (toHost) {
                (void)!::read(ep0_, nullptr, 0);  // the wrong direction stalls the request
            } else {
                (void)!::write(ep0_, nullptr, 0);
            }
            answering_ = -1;
        }
    }
}

}  // namespace usbvm
