// Runs inside the test machine (see run.sh): plays USB printers with the
// kernel's gadget drivers on dummy_hcd and checks the library's USB route
// through its exported calls, against the real usbcore and usblp. Prints one
// line per check and a closing "N passed, M failed" line; exits 0 only when
// every check passed.
#include <arpa/inet.h>
#include <fcntl.h>
#include <libusb.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <iterator>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "gadget.h"
#include "mklabel.h"
#include "support/handles.h"

namespace {

using namespace usbvm;
namespace fs = std::filesystem;

int passed = 0;
int failed = 0;

void check(const std::string& name, bool ok, const std::string& detail = {}) {
    (ok ? passed : failed)++;
    std::printf("usbvm: %s %s%s%s\n", ok ? "PASS" : "FAIL", name.c_str(), detail.empty() ? "" : ": ", detail.c_str());
    std::fflush(stdout);
}

std::string lastError() {
    return std::to_string(MkGetLastErrorCode()) + " \"" + MkGetLastErrorMessage() + "\"";
}

long msSince(Clock::time_point start) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

using DocPtr = mk::test::LabelPtr;
using mk::test::PrinterPtr;

PrinterPtr makePrinter(int interfaceType) {
    PrinterPtr printer(MkPrinter_Create());
    MkPrinter_SetInterface(printer.get(), interfaceType);
    MkPrinter_SetDpi(printer.get(), 203);
    MkPrinter_SetSpeed(printer.get(), 4);
    MkPrinter_SetDarkness(printer.get(), 10);
    return printer;
}

PrinterPtr usbPrinter(const std::string& serial, int interfaceType = 1) {
    PrinterPtr printer = makePrinter(interfaceType);
    MkPrinter_SetUsbSerial(printer.get(), serial.c_str());
    return printer;
}

// A label of lines only: no fonts needed in the test machine.
DocPtr makeLabel() {
    DocPtr doc(MkLabel_Create());
    // Tall enough for a job of several kilobytes: ten and more chunks.
    MkLabel_SetWidth(doc.get(), 100);
    MkLabel_SetHeight(doc.get(), 150);
    // An object's kind comes from its name.
    MkLabel_AddRect(doc.get(), "rectangle1", 1, 1, 99, 149, 0.5f);
    for (int i = 0; i < 30; ++i) {
        const float x = 2.0f + 3.2f * static_cast<float>(i);
        MkLabel_AddLine(doc.get(), ("line" + std::to_string(i + 1)).c_str(), x, 2, 98 - x, 148, 0.3f);
    }
    return doc;
}

// A label whose job is over 1 MiB at 600 dpi: lines close together leave the
// graphic's run-length coding little to shorten.
DocPtr makeBigLabel() {
    DocPtr doc(MkLabel_Create());
    MkLabel_SetWidth(doc.get(), 200);
    MkLabel_SetHeight(doc.get(), 150);
    for (int i = 0; i < 300; ++i) {
        const float x = 0.61f * static_cast<float>(i);
        MkLabel_AddLine(doc.get(), ("line" + std::to_string(i + 1)).c_str(), x, 0, 199 - x * 0.9f, 150, 0.1f);
    }
    return doc;
}

PrinterPtr at600Dpi(PrinterPtr printer) {
    MkPrinter_SetDpi(printer.get(), 600);
    return printer;
}

// Each job names its graphic anew ("KVP" and four random digits); the rest
// of two jobs of one label is the same byte for byte.
std::string withoutGraphicName(std::string job) {
    for (size_t at = job.find("KVP"); at != std::string::npos && at + 7 <= job.size(); at = job.find("KVP", at + 7)) {
        job.replace(at + 3, 4, "####");
    }
    return job;
}

std::vector<std::string> enumSerials() {
    UsbPrinterInfo list[8];
    const int count = MkPrinter_EnumUsb(list, 8);
    std::vector<std::string> serials;
    for (int i = 0; i < count; ++i) serials.emplace_back(list[i].serial);
    return serials;
}

std::string join(const std::vector<std::string>& items) {
    std::string text = "[";
    for (const std::string& item : items) text += (text.size() > 1 ? " " : "") + item;
    return text + "]";
}

// The serials of the supported printers usblp has bound, in lp order.
std::vector<std::string> usblpSerials() {
    std::map<int, std::string> byNumber;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/sys/class/usbmisc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("lp", 0) != 0) continue;
        const fs::path device = fs::canonical(entry.path() / "device").parent_path();
        const std::string ids = readText((device / "idVendor").string()) + ":" + readText((device / "idProduct").string());
        if (ids != "9f3c:41a7" && ids != "b7e2:0c15") continue;
        byNumber[std::stoi(name.substr(2))] = readText((device / "serial").string());
    }
    std::vector<std::string> serials;
    for (const auto& [number, serial] : byNumber) serials.push_back(serial);
    return serials;
}

bool loadModule(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const long result = ::syscall(SYS_finit_module, fd, "", 0);
    ::close(fd);
    return result == 0;
}

bool unloadModule(const char* name) { return ::syscall(SYS_delete_module, name, O_NONBLOCK) == 0; }

// A raw network printer on the loopback address: keeps what one connection sends.
class TcpPrinter {
public:
    TcpPrinter() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(9100);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener_, 1) != 0) {
            throw std::runtime_error("cannot listen on 127.0.0.1:9100");
        }
        job_ = std::async(std::launch::async, [this] {
            std::string bytes;
            const int peer = ::accept(listener_, nullptr, nullptr);
            if (peer < 0) return bytes;
            char buffer[4096];
            for (ssize_t n; (n = ::read(peer, buffer, sizeof buffer)) > 0;) bytes.append(buffer, static_cast<size_t>(n));
            ::close(peer);
            return bytes;
        });
    }
    ~TcpPrinter() { ::close(listener_); }
    std::string job() { return job_.wait_for(10s) == std::future_status::ready ? job_.get() : std::string(); }

private:
    int listener_ = -1;
    std::future<std::string> job_;
};

// Another program holding the printer's interface, as CUPS's usb backend would.
class InterfaceHolder {
public:
    explicit InterfaceHolder(const std::string& node) {
        fd_ = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
        if (fd_ < 0 || libusb_init(&context_) != 0 ||
            libusb_wrap_sys_device(context_, static_cast<intptr_t>(fd_), &handle_) != 0) {
            throw std::runtime_error("cannot open " + node + " to hold it");
        }
        libusb_set_auto_detach_kernel_driver(handle_, 1);
        if (libusb_claim_interface(handle_, 0) != 0) throw std::runtime_error("cannot claim " + node);
    }
    ~InterfaceHolder() {
        if (handle_ != nullptr) {
            libusb_release_interface(handle_, 0);
            libusb_close(handle_);
        }
        if (context_ != nullptr) libusb_exit(context_);
        if (fd_ >= 0) ::close(fd_);
    }

private:
    int fd_ = -1;
    libusb_context* context_ = nullptr;
    libusb_device_handle* handle_ = nullptr;
};

// Another program using a printer through usblp's node: a child process
// that opens the node and writes its job, at once or when told to.
class LpWriter {
public:
    enum class Start { AtOnce, WhenTold };
    LpWriter(const std::string& node, const std::string& job, Start start) {
        if (::pipe2(opened_, O_CLOEXEC) != 0 || ::pipe2(go_, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ < 0) throw std::runtime_error("fork");
        if (pid_ == 0) {
            // Only calls that are safe after a fork in a program with threads.
            const int fd = ::open(node.c_str(), O_WRONLY | O_CLOEXEC);
            if (fd < 0) ::_exit(10 + errno % 100);
            char byte = 'o';
            if (::write(opened_[1], &byte, 1) != 1) ::_exit(2);
            if (start == Start::WhenTold && ::read(go_[0], &byte, 1) != 1) ::_exit(3);
            for (size_t done = 0; done < job.size();) {
                const ssize_t n = ::write(fd, job.data() + done, job.size() - done);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) ::_exit(n == 0 ? 4 : 10 + errno % 100);
                done += static_cast<size_t>(n);
            }
            ::_exit(::close(fd) == 0 ? 0 : 5);
        }
    }
    ~LpWriter() {
        if (pid_ > 0 && !finished_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        for (int fd : {opened_[0], opened_[1], go_[0], go_[1]}) ::close(fd);
    }
    LpWriter(const LpWriter&) = delete;
    LpWriter& operator=(const LpWriter&) = delete;

    bool opened() {
        pollfd entry{opened_[0], POLLIN, 0};
        char byte = 0;
        return ::poll(&entry, 1, 10000) == 1 && ::read(opened_[0], &byte, 1) == 1;
    }
    void go() { (void)!::write(go_[1], "g", 1); }
    // The child's exit status: 0 when it wrote its whole job; 10 + errno when
    // a call failed; -1 when it did not end in time (it is killed).
    int finish(std::chrono::milliseconds timeout) {
        int status = 0;
        const bool ended = waitUntil([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, timeout);
        if (!ended) return -1;
        finished_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int opened_[2] = {-1, -1};
    int go_[2] = {-1, -1};
    bool finished_ = false;
};

// A job that another program writes: every byte value, in no simple order.
std::string otherJob(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 509) & 0xff);
    return bytes;
}

struct Udcs {
    std::vector<std::string> names;
    Udcs() {
        for (const auto& entry : fs::directory_iterator("/sys/class/udc")) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        if (names.size() < 5) throw std::runtime_error("dummy_hcd gave " + std::to_string(names.size()) + " controllers, 5 needed");
    }
};

// A supported printer played through FunctionFS, mounted at /dev/ffs-<name>.
struct FfsGadget {
    Gadget gadget;
    FfsPrinter printer;
    FfsGadget(const std::string& name, const std::string& serial)
        : gadget(name, 0x9f3c, 0x41a7, serial, Gadget::Kind::FunctionFs), printer(mountFunctionFs(name)) {}

    static std::string mountFunctionFs(const std::string& name) {
        const std::string mountPoint = "/dev/ffs-" + name;
        fs::create_directories(mountPoint);
        if (::mount(name.c_str(), mountPoint.c_str(), "functionfs", 0, nullptr) != 0) {
            throw std::runtime_error("cannot mount functionfs " + name);
        }
        return mountPoint;
    }
};

constexpr const char* kNoPrinters = "No VELMOR USB printers found";
constexpr int kLoops = 100;

long threadCount() { return std::distance(fs::directory_iterator("/proc/self/task"), fs::directory_iterator()); }

// The supported printers a libusb context lists, as a host's own libusb
// code would see them; -1 when the list cannot be had.
int supportedIn(libusb_context* context) {
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context, &list);
    if (count < 0) return -1;
    int supported = 0;
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(list[i], &descriptor) != 0) continue;
        if ((descriptor.idVendor == 0x9f3c && descriptor.idProduct == 0x41a7) ||
            (descriptor.idVendor == 0xb7e2 && descriptor.idProduct == 0x0c15)) {
            ++supported;
        }
    }
    libusb_free_device_list(list, 1);
    return supported;
}

// The same through a context made for the question and ended after it.
int supportedByHostLibusb() {
    libusb_context* context = nullptr;
    if (libusb_init(&context) != 0) return -1;
    const int supported = supportedIn(context);
    libusb_exit(context);
    return supported;
}

void run(const std::string& modules) {
    const long threadsAtStart = threadCount();
    const Udcs udcs;
    Gadget a("pa", 0x9f3c, 0x41a7, "MK-A-0001", Gadget::Kind::Printer);
    Gadget b("pb", 0xb7e2, 0x0c15, "MK-B-0002", Gadget::Kind::Printer);
    Gadget c("pc", 0x04b8, 0x0202, "OTHER-0003", Gadget::Kind::Printer);
    Gadget idle("pi", 0x9f3c, 0x41a7, "MK-IDLE-04", Gadget::Kind::Printer);

    // Enumeration: none, one, several (one of them not supported).
    {
        const int count = static_cast<int>(enumSerials().size());
        check("enumeration with no printer", count == 0 && MkGetLastErrorCode() == 0 &&
                                                  std::string(MkGetLastErrorMessage()) == kNoPrinters,
              std::to_string(count) + " found, last error " + lastError());
    }
    a.plug(udcs.names[0]);
    {
        UsbPrinterInfo list[4] = {};
        const int count = MkPrinter_EnumUsb(list, 4);
        check("enumeration with one printer",
              count == 1 && std::string(list[0].serial) == "MK-A-0001" && std::string(list[0].port) == "USB01" &&
                  std::string(list[0].name) == "Stampwell",
              std::to_string(count) + " found: " + (count > 0 ? std::string(list[0].serial) + " " + list[0].port : ""));
    }
    {
        PrinterPtr printer = usbPrinter("MK-A-0001");
        const int connected = MkPrinter_Connect(printer.get());
        const int status = MkPrinter_GetStatusCode(printer.get());
        check("enumeration, connect and status start no thread",
              connected == 0 && status >= 0 && threadCount() == threadsAtStart,
              std::to_string(threadsAtStart) + " threads before, " + std::to_string(threadCount()) + " after; status " +
                  std::to_string(status));
    }
    b.plug(udcs.names[1]);
    c.plug(udcs.names[2]);
    const std::vector<std::string> expected = {"MK-A-0001", "MK-B-0002"};
    const std::vector<std::string> several = enumSerials();
    check("enumeration with several printers, one not supported", several == expected, join(several));
    check("enumeration order is usblp's order", several == usblpSerials(), join(usblpSerials()));
    {
        const bool unloaded = unloadModule("usblp") && waitUntil([] { return !fs::exists("/sys/module/usblp"); }, 10s);
        const std::vector<std::string> without = enumSerials();
        check("enumeration without usblp finds the same printers", unloaded && without == expected,
              (unloaded ? "" : "usblp not unloaded; ") + join(without));
        const bool loaded = loadModule(modules + "/usblp.ko") && waitUntil([] { return usblpSerials().size() == 2; }, 20s);
        if (!loaded) throw std::runtime_error("usblp did not come back");
    }

    // Find by serial.
    {
        struct Case {
            std::string serial;
            int result;
            int code;
        };
        std::string detail;
        bool ok = true;
        for (const Case& c : {Case{"MK-B-0002", 0, 0}, Case{"MK-A-0001", 0, 0}, Case{"", 0, 0}, Case{"mk-a-0001", -2, -521},
                              Case{"OTHER-0003", -2, -521}}) {
            PrinterPtr printer = usbPrinter(c.serial);
            const int result = MkPrinter_Connect(printer.get());
            const bool good = result == c.result && (c.result == 0 || MkGetLastErrorCode() == c.code);
            ok = ok && good;
            if (!good) detail += "'" + c.serial + "' gave " + std::to_string(result) + " " + lastError() + "; ";
        }
        check("find by serial", ok, detail);
    }

    PrinterSide sideA("/dev/g_printer0");
    PrinterSide sideB("/dev/g_printer1");
    DocPtr doc = makeLabel();

    // The job over USB is the job over the network, byte for byte.
    std::string tcpJob;
    {
        TcpPrinter network;
        PrinterPtr netPrinter = makePrinter(2);
        MkPrinter_SetNetAddress(netPrinter.get(), "127.0.0.1");
        const int netResult = MkLabel_Print(doc.get(), netPrinter.get());
        tcpJob = withoutGraphicName(network.job());
        PrinterPtr printer = usbPrinter("MK-B-0002");
        const int usbResult = MkLabel_Print(doc.get(), printer.get());
        sideB.waitForBytes(tcpJob.size(), 10s);
        const std::string usbJob = withoutGraphicName(sideB.received());
        const size_t differ = std::mismatch(usbJob.begin(), usbJob.end(), tcpJob.begin(), tcpJob.end()).first - usbJob.begin();
        check("a job over USB is byte-identical to the job over TCP",
              netResult == 0 && usbResult == 0 && !tcpJob.empty() && usbJob == tcpJob,
              "results " + std::to_string(netResult) + "/" + std::to_string(usbResult) + ", " +
                  std::to_string(tcpJob.size()) + " bytes over TCP, " + std::to_string(usbJob.size()) + " over USB" +
                  (usbJob == tcpJob ? "" : ", first difference at " + std::to_string(differ) + ": " +
                                               usbJob.substr(differ, 16) + " / " + tcpJob.substr(differ, 16)));
    }
    const size_t jobSize = tcpJob.size();
    if (jobSize < 4096) throw std::runtime_error("the test job is too short: " + std::to_string(jobSize));
    DocPtr bigDoc = makeBigLabel();
    size_t bigJobSize = 0;
    {
        TcpPrinter network;
        PrinterPtr netPrinter = at600Dpi(makePrinter(2));
        MkPrinter_SetNetAddress(netPrinter.get(), "127.0.0.1");
        const int netResult = MkLabel_Print(bigDoc.get(), netPrinter.get());
        const std::string bigJob = withoutGraphicName(network.job());
        bigJobSize = bigJob.size();
        PrinterPtr printer = at600Dpi(usbPrinter("MK-B-0002"));
        sideB.clear();
        const int usbResult = MkLabel_Print(bigDoc.get(), printer.get());
        sideB.waitForBytes(bigJobSize, 30s);
        check("a job of over 1 MiB over USB is byte-identical to the job over TCP",
              netResult == 0 && usbResult == 0 && bigJobSize >= (1u << 20) &&
                  withoutGraphicName(sideB.received()) == bigJob,
              "results " + std::to_string(netResult) + "/" + std::to_string(usbResult) + ", " +
                  std::to_string(bigJobSize) + " bytes over TCP, " + std::to_string(sideB.received().size()) +
                  " over USB");
        sideB.clear();
    }

    // Status bytes, unchanged.
    {
        PrinterPtr printer = usbPrinter("MK-A-0001");
        MkPrinter_Connect(printer.get());
        std::string detail;
        for (int status : {0x00, 0x08, 0x10, 0x18, 0x38, 0x80, 0xFF}) {
            sideA.setStatus(static_cast<uint8_t>(status));
            const int got = MkPrinter_GetStatusCode(printer.get());
            if (got != status) detail += std::to_string(status) + " read as " + std::to_string(got) + "; ";
        }
        check("status bytes 0x00 0x08 0x10 0x18 0x38 0x80 0xFF", detail.empty(), detail);

        sideA.setStatus(4);
        const Clock::time_point start = Clock::now();
        std::thread release([&] {
            std::this_thread::sleep_for(1500ms);
            sideA.setStatus(0x18);
        });
        const int got = MkPrinter_GetStatusCode(printer.get());
        const long elapsed = msSince(start);
        release.join();
        check("busy status held, then released", got == 0x18 && elapsed >= 1400 && elapsed < 5500,
              "status " + std::to_string(got) + " after " + std::to_string(elapsed) + " ms");
    }

    // Another program holds the printer: the open fails with its path; once
    // it lets go, printing works.
    {
        const std::string node = hostNodeOf("MK-A-0001");
        PrinterPtr printer = usbPrinter("MK-A-0001");
        int held = 0;
        std::string message;
        {
            InterfaceHolder holder(node);
            held = MkLabel_Print(doc.get(), printer.get());
            message = lastError();
        }
        const bool messageOk = message == "-503 \"Failed to open USB device for write: " + node + "\"";
        sideA.clear();
        const int released = MkLabel_Print(doc.get(), printer.get());
        sideA.waitForBytes(jobSize, 10s);
        check("printer held by another program, then released",
              held == -4 && messageOk && released == 0 && withoutGraphicName(sideA.received()) == tcpJob,
              "held: " + std::to_string(held) + " " + message + "; released: " + std::to_string(released));
    }

    // What each call costs here (emulated: several times what hardware
    // takes), told and bounded loosely: a call must not scan the bus.
    {
        const auto measure = [](const std::function<void()>& call) {
            std::vector<long> times;
            for (int i = 0; i < 10; ++i) {
                const Clock::time_point start = Clock::now();
                call();
                times.push_back(static_cast<long>(
                    std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count()));
            }
            std::sort(times.begin(), times.end());
            return times;
        };
        const auto told = [](const std::string& what, const std::vector<long>& times) {
            std::printf("usbvm: cost of %s: median %.1f ms (%.1f to %.1f)\n", what.c_str(), times[5] / 1000.0,
                        times.front() / 1000.0, times.back() / 1000.0);
            std::fflush(stdout);
            return times[5];
        };
        PrinterPtr b = usbPrinter("MK-B-0002");
        MkPrinter_Connect(b.get());
        const long print = told("a print", measure([&] { MkLabel_Print(doc.get(), b.get()); }));
        sideB.clear();
        const long status = told("a status call", measure([&] { MkPrinter_GetStatusCode(b.get()); }));
        const long enumeration = told("an enumeration", measure([] { enumSerials(); }));
        PrinterPtr a = usbPrinter("MK-A-0001");
        MkPrinter_Connect(a.get());
        long refused = 0;
        {
            InterfaceHolder holder(hostNodeOf("MK-A-0001"));
            refused = told("a refused open", measure([&] { MkPrinter_GetStatusCode(a.get()); }));
        }
        check("a refused open takes under 20 ms, a status call under 60 ms, a print under 400 ms",
              refused < 20000 && status < 60000 && print < 400000,
              std::to_string(refused) + " / " + std::to_string(status) + " / " + std::to_string(print) + " us; " +
                  "enumeration " + std::to_string(enumeration) + " us");
    }

    // Beside a program that uses the printer through usblp's node.
    {
        const std::string node = hostNodeOf("MK-A-0001");
        const std::string lp = lpNodeOf("MK-A-0001");
        const std::string refused = "-503 \"Failed to open USB device for write: " + node + "\"";
        const std::string theirs = otherJob(1 << 20);
        PrinterPtr printer = usbPrinter("MK-A-0001");
        sideA.clear();
        LpWriter writer(lp, theirs, LpWriter::Start::AtOnce);
        const bool writing = sideA.waitForBytes(64 * 1024, 20s);
        sideA.pause(true);  // their write waits in the middle
        const int ours = MkLabel_Print(doc.get(), printer.get());
        const std::string message = lastError();
        sideA.pause(false);
        const int exit = writer.finish(60s);
        sideA.waitForBytes(theirs.size(), 10s);
        check("a program writing 1 MiB through " + lp + " keeps its job whole; our print fails",
              writing && ours == -4 && message == refused && exit == 0 && sideA.received() == theirs,
              "ours " + std::to_string(ours) + " " + message + "; theirs exited " + std::to_string(exit) + ", printer got " +
                  std::to_string(sideA.received().size()) + " bytes" +
                  (sideA.received() == theirs ? "" : ", not theirs byte for byte"));
    }
    // A program holds usblp's node open, idle, by the given name while we
    // print: our print fails with the path; its write goes through after.
    // Empty when so, else what went wrong.
    const auto idleHolderProblem = [&](const std::string& name) {
        const std::string node = hostNodeOf("MK-A-0001");
        PrinterPtr printer = usbPrinter("MK-A-0001");
        sideA.clear();
        LpWriter holder(name, "HELD\r\n", LpWriter::Start::WhenTold);
        const bool opened = holder.opened();
        const int ours = MkLabel_Print(doc.get(), printer.get());
        const std::string message = lastError();
        holder.go();
        const int exit = holder.finish(20s);
        sideA.waitForBytes(6, 5s);
        const bool ok = opened && ours == -4 &&
                        message == "-503 \"Failed to open USB device for write: " + node + "\"" && exit == 0 &&
                        sideA.received() == "HELD\r\n";
        return ok ? std::string() : name + ": ours " + std::to_string(ours) + " " + message + ", theirs exited " +
                                        std::to_string(exit) + "; ";
    };
    {
        const std::string detail = idleHolderProblem(lpNodeOf("MK-A-0001"));
        check("a program holding usblp's node idle still writes after our print failed", detail.empty(), detail);
    }
    {
        PrinterPtr printer = usbPrinter("MK-A-0001");
        MkPrinter_Connect(printer.get());
        const std::vector<std::pair<std::string, std::function<void()>>> calls = {
            {"print", [&] { MkLabel_Print(doc.get(), printer.get()); }},
            {"tag read", [&] {
                 char buffer[16];
                 MkPrinter_ReadUHFTag(printer.get(), 1, 8, 300, buffer, sizeof buffer);
             }},
            {"status", [&] { MkPrinter_GetStatusCode(printer.get()); }},
        };
        std::string detail;
        for (const auto& [name, call] : calls) {
            call();
            sideA.clear();
            const std::string lp = lpNodeOf("MK-A-0001");
            LpWriter after(lp, "AFTER\r\n", LpWriter::Start::AtOnce);
            const int exit = after.finish(10s);
            if (lp.empty() || exit != 0 || !sideA.waitForBytes(7, 5s)) {
                detail += "after the " + name + ": node '" + lp + "', writer exited " + std::to_string(exit) + "; ";
            }
        }
        check("usblp's node works for other programs after our print, tag read and status", detail.empty(), detail);
    }
    {
        // Another program holds the printer through a second node of the same
        // device number, or through a bind-mounted /dev (a chroot's).
        const std::string lp = lpNodeOf("MK-A-0001");
        const std::string number = readText("/sys/class/usbmisc/" + fs::path(lp).filename().string() + "/dev");
        const unsigned minor = static_cast<unsigned>(std::atoi(number.substr(number.find(':') + 1).c_str()));
        const std::string alias = "/tmp/printer-alias";
        const std::string chrootDev = "/tmp/chroot-dev";
        fs::create_directories(chrootDev);
        const bool made = ::mknod(alias.c_str(), S_IFCHR | 0600, ::makedev(180, minor)) == 0 &&
                          ::mount("/dev", chrootDev.c_str(), nullptr, MS_BIND, nullptr) == 0;
        std::string detail = made ? "" : "cannot make the other names; ";
        for (const std::string& name : {alias, chrootDev + "/usb/" + fs::path(lp).filename().string()}) {
            detail += idleHolderProblem(name);
        }
        ::umount(chrootDev.c_str());
        ::unlink(alias.c_str());
        check("a program holding usblp's node by another name (a second node, a bind-mounted /dev) is seen",
              detail.empty(), detail);
    }
    {
        // The host's own libusb lists the printers after each of our calls,
        // whether it makes its context afterwards or has one open throughout,
        // and none of our calls leaves a thread behind.
        PrinterPtr printer = usbPrinter("MK-A-0001");
        PrinterPtr confirmed = usbPrinter("MK-A-0001", 4);
        sideA.answer("PR1,1\r\n", "RP");
        const std::vector<std::pair<std::string, std::function<void()>>> calls = {
            {"enumeration", [&] { enumSerials(); }},
            {"connect", [&] { MkPrinter_Connect(printer.get()); }},
            {"status", [&] { MkPrinter_GetStatusCode(printer.get()); }},
            {"print", [&] { MkLabel_Print(doc.get(), printer.get()); }},
            {"confirmed print", [&] { MkLabel_Print(doc.get(), confirmed.get()); }},
            {"tag read", [&] {
                 char buffer[16];
                 MkPrinter_ReadUHFTag(printer.get(), 1, 8, 300, buffer, sizeof buffer);
             }},
        };
        std::string detail;
        const long threads = threadCount();
        for (const auto& [name, call] : calls) {
            call();
            const int listed = supportedByHostLibusb();
            if (listed != 2 || threadCount() != threads) {
                detail += "after the " + name + ": " + std::to_string(listed) + " listed, " +
                          std::to_string(threadCount()) + " threads; ";
            }
        }
        libusb_context* host = nullptr;
        if (libusb_init(&host) != 0) throw std::runtime_error("the host's libusb_init failed");
        const long withHost = threadCount();
        for (const auto& [name, call] : calls) {
            call();
            const int listed = supportedIn(host);
            if (listed != 2 || threadCount() != withHost) {
                detail += "after the " + name + " beside the host's context: " + std::to_string(listed) +
                          " listed, " + std::to_string(threadCount()) + " threads; ";
            }
        }
        libusb_exit(host);
        sideA.clear();
        check("the host's own libusb lists the printers after each call; no call leaves a thread (" +
                  std::to_string(threads) + " threads, " + std::to_string(withHost) + " with the host's context)",
              detail.empty() && threadCount() == threads, detail);
    }
    {
        // Two threads on one printer: whichever handle lets go last, usblp is
        // bound again afterwards. A call that finds the other thread holding
        // the printer fails with the open's code.
        PrinterPtr first = usbPrinter("MK-A-0001");
        PrinterPtr second = usbPrinter("MK-A-0001");
        MkPrinter_Connect(second.get());
        const auto worker = [&](int which) {
            std::string odd;
            for (int i = 0; i < 8; ++i) {
                const int result = which == 0 ? MkLabel_Print(doc.get(), first.get())
                                              : MkPrinter_GetStatusCode(second.get());
                const bool fine = which == 0 ? (result == 0 || (result == -4 && MkGetLastErrorCode() == -503))
                                             : (result >= 0 || (result == -1 && MkGetLastErrorCode() == -520));
                if (!fine && odd.empty()) odd = std::to_string(result) + " " + lastError();
            }
            return odd;
        };
        auto printing = std::async(std::launch::async, worker, 0);
        auto asking = std::async(std::launch::async, worker, 1);
        const std::string odd = printing.get() + asking.get();
        const bool bound = fs::exists(hostInterfaceOf("MK-A-0001") + "/driver") && !lpNodeOf("MK-A-0001").empty();
        sideA.clear();
        check("two threads printing and asking one printer leave usblp bound", bound && odd.empty(),
              (bound ? "" : "usblp not bound; ") + odd);
    }
    {
        // usblp unbound by hand stays unbound.
        const std::string interface = hostInterfaceOf("MK-B-0002");
        const std::string name = fs::path(interface).filename().string();
        writeText("/sys/bus/usb/drivers/usblp/unbind", name);
        PrinterPtr printer = usbPrinter("MK-B-0002");
        const int printed = MkLabel_Print(doc.get(), printer.get());
        const int status = MkPrinter_GetStatusCode(printer.get());
        char buffer[16];
        MkPrinter_ReadUHFTag(printer.get(), 1, 8, 300, buffer, sizeof buffer);
        const bool unbound = !fs::exists(interface + "/driver");
        if (unbound) writeText("/sys/bus/usb/drivers/usblp/bind", name);
        check("usblp unbound by hand stays unbound after print, status and tag read",
              printed == 0 && status >= 0 && unbound,
              "print " + std::to_string(printed) + ", status " + std::to_string(status) +
                  (unbound ? "" : ", usblp bound again"));
        sideB.clear();
    }
    {
        // An answer the printer queued is read after a print, a status request
        // and another print, through usblp being detached and attached each time.
        PrinterPtr printer = usbPrinter("MK-B-0002");
        sideB.send("\x02" "E2003412" "\x03\r\n");
        const int first = MkLabel_Print(doc.get(), printer.get());
        const int status = MkPrinter_GetStatusCode(printer.get());
        const int second = MkLabel_Print(doc.get(), printer.get());
        char buffer[64] = {};
        const int length = MkPrinter_ReadUHFTag(printer.get(), 1, 8, 3000, buffer, sizeof buffer);
        check("an answer queued before print, status and print is read afterwards",
              first == 0 && status >= 0 && second == 0 && length == 8 && std::string(buffer) == "E2003412",
              "prints " + std::to_string(first) + "/" + std::to_string(second) + ", status " + std::to_string(status) +
                  ", read " + std::to_string(length) + " '" + buffer + "' " + lastError());
        sideB.clear();
    }

    // A printer that takes nothing: the print fails after the 30 s stall
    // limit, not later. It runs beside the loops below.
    idle.plug(udcs.names[3]);
    auto stalled = std::async(std::launch::async, [&] {
        PrinterPtr printer = usbPrinter("MK-IDLE-04");
        const Clock::time_point start = Clock::now();
        const int result = MkLabel_Print(doc.get(), printer.get());
        return std::make_tuple(result, MkGetLastErrorCode(), msSince(start));
    });

    // Immediate answers are never lost.
    {
        sideA.answer("RD1,1,0,8\r\n", "\x02" "E2003412" "\x03\r\n");
        PrinterPtr printer = usbPrinter("MK-A-0001");
        MkPrinter_Connect(printer.get());  // tag reads do not connect on their own
        int good = 0;
        std::string firstBad;
        for (int i = 0; i < kLoops; ++i) {
            char buffer[64] = {};
            const int length = MkPrinter_ReadUHFTag(printer.get(), 1, 8, 3000, buffer, sizeof buffer);
            if (length == 8 && std::string(buffer) == "E2003412") {
                ++good;
            } else if (firstBad.empty()) {
                firstBad = "read " + std::to_string(i) + " gave " + std::to_string(length) + " " + lastError();
            }
        }
        check("an immediate tag answer read back " + std::to_string(kLoops) + " times", good == kLoops,
              std::to_string(good) + " of " + std::to_string(kLoops) + (firstBad.empty() ? "" : "; " + firstBad));
    }
    {
        sideA.answer("PR1,1\r\n", "RP");
        PrinterPtr printer = usbPrinter("MK-A-0001", 4);
        int good = 0;
        std::string firstBad;
        for (int i = 0; i < kLoops; ++i) {
            const int result = MkLabel_Print(doc.get(), printer.get());
            if (result == 0) {
                ++good;
            } else if (firstBad.empty()) {
                firstBad = "print " + std::to_string(i) + " gave " + std::to_string(result) + " " + lastError();
            }
        }
        check("an immediate print confirmation read back " + std::to_string(kLoops) + " times", good == kLoops,
              std::to_string(good) + " of " + std::to_string(kLoops) + (firstBad.empty() ? "" : "; " + firstBad));
    }
    {
        if (stalled.wait_for(60s) != std::future_status::ready) throw std::runtime_error("the stalled print never ended");
        const auto [result, code, elapsed] = stalled.get();
        check("a printer that takes nothing fails the print after 30 s, not later",
              result == -4 && code == -505 && elapsed >= 30000 && elapsed < 33000,
              std::to_string(result) + " with " + std::to_string(code) + " after " + std::to_string(elapsed) + " ms");
    }

    // A printer that refuses data after N bytes (a stalled endpoint).
    {
        FfsGadget refusing("pf0", "MK-FFS-00");
        refusing.gadget.plug(udcs.names[4]);
        {
            // A status call's whole time, giving the printer back to usblp included.
            PrinterPtr printer = usbPrinter("MK-FFS-00");
            MkPrinter_Connect(printer.get());
            const Clock::time_point start = Clock::now();
            const int status = MkPrinter_GetStatusCode(printer.get());
            const long elapsed = msSince(start);
            const bool bound = fs::exists(hostInterfaceOf("MK-FFS-00") + "/driver");
            check("a status call, usblp detached and attached again, takes under 1 s",
                  status == 0x18 && elapsed < 1000 && bound,
                  "status " + std::to_string(status) + " after " + std::to_string(elapsed) + " ms" +
                      (bound ? "" : ", usblp not bound"));
        }
        {
            // The same for a printer that answers no request: our request
            // gives up after 1 s, usblp's own on attaching after 5 s.
            PrinterPtr printer = usbPrinter("MK-FFS-00");
            MkPrinter_Connect(printer.get());
            refusing.printer.ignoreRequests(true);
            const Clock::time_point start = Clock::now();
            const int status = MkPrinter_GetStatusCode(printer.get());
            const long elapsed = msSince(start);
            refusing.printer.ignoreRequests(false);
            const bool bound = fs::exists(hostInterfaceOf("MK-FFS-00") + "/driver");
            check("a status call to a printer that answers nothing fails within 7 s, usblp attached again",
                  status == -103 && elapsed < 7000 && bound,
                  "status " + std::to_string(status) + " after " + std::to_string(elapsed) + " ms" +
                      (bound ? "" : ", usblp not bound"));
        }
        constexpr size_t kRefuseAfter = 1024;
        refusing.printer.takeUpTo(kRefuseAfter, FfsPrinter::AfterLimit::Refuse);
        PrinterPtr printer = usbPrinter("MK-FFS-00");
        const Clock::time_point start = Clock::now();
        const int result = MkLabel_Print(doc.get(), printer.get());
        const int code = MkGetLastErrorCode();
        const long elapsed = msSince(start);
        const size_t taken = refusing.printer.taken();
        check("a printer that refuses data after 1024 bytes fails the print",
              result == -4 && code == -505 && taken == kRefuseAfter && elapsed < 10000,
              std::to_string(result) + " with " + std::to_string(code) + ", printer took " + std::to_string(taken) +
                  " of " + std::to_string(jobSize) + " bytes, " + std::to_string(elapsed) + " ms; " +
                  refusing.printer.state());
        {
            // Two printers with usblp bound: while this one, which answers
            // nothing (and has refused data), is handed back to usblp (whose probe waits 5 s for its
            // id), a print to B goes on at its own pace, and no call starts a
            // thread.
            const auto bound = [](const char* serial) { return fs::exists(hostInterfaceOf(serial) + "/driver"); };
            const bool bothBound = bound("MK-FFS-00") && bound("MK-B-0002");
            PrinterPtr slow = usbPrinter("MK-FFS-00");
            MkPrinter_Connect(slow.get());
            const long threads = threadCount();
            std::atomic<bool> sampling{true};
            std::atomic<long> peak{0};
            std::thread sampler([&] {
                while (sampling) {
                    peak = std::max(peak.load(), threadCount());
                    std::this_thread::sleep_for(2ms);
                }
            });
            refusing.printer.ignoreRequests(true);
            auto slowCall = std::async(std::launch::async, [&] {
                const Clock::time_point start = Clock::now();
                const int status = MkPrinter_GetStatusCode(slow.get());
                return std::make_pair(status, msSince(start));
            });
            // Our request gives up after 1 s; usblp's probe runs from then on.
            std::this_thread::sleep_for(2000ms);
            const Clock::time_point start = Clock::now();
            PrinterPtr fast = usbPrinter("MK-B-0002");
            const int printed = MkLabel_Print(doc.get(), fast.get());
            const long took = msSince(start);
            const bool overlapped = slowCall.wait_for(0s) != std::future_status::ready;
            const auto [slowStatus, slowTook] = slowCall.get();
            refusing.printer.ignoreRequests(false);
            sampling = false;
            sampler.join();
            sideB.clear();
            check("a print to B while A, which answers nothing, is handed back to usblp takes under 1 s",
                  bothBound && printed == 0 && took < 1000 && overlapped && slowStatus == -103,
                  std::string(bothBound ? "" : "usblp not bound on both; ") + "print " + std::to_string(printed) +
                      " in " + std::to_string(took) + " ms; A's status " + std::to_string(slowStatus) + " after " +
                      std::to_string(slowTook) + " ms" + (overlapped ? "" : ", over before the print"));
            // The sampler and the call's own thread are ours.
            check("no thread appears during the calls", peak <= threads + 2,
                  std::to_string(threads) + " before, " + std::to_string(peak.load()) + " at most during");
        }
        refusing.gadget.unplug();
    }

    // Unplugged while the last chunk is on its way (several tries), and in
    // the middle of a long job.
    {
        const size_t lastChunk = jobSize % 512 == 0 ? 512 : jobSize % 512;
        constexpr int kTries = 5;
        int good = 0;
        std::string detail;
        std::string middle;
        for (int i = 1; i <= kTries + 1; ++i) {
            const bool long_ = i > kTries;
            const std::string serial = "MK-FFS-0" + std::to_string(i);
            FfsGadget unplugged("pf" + std::to_string(i), serial);
            unplugged.gadget.plug(udcs.names[4]);
            unplugged.printer.takeUpTo(long_ ? bigJobSize / 2 / 512 * 512 : jobSize - lastChunk, FfsPrinter::AfterLimit::Hold);
            PrinterPtr printer = long_ ? at600Dpi(usbPrinter(serial)) : usbPrinter(serial);
            LabelDoc* const label = long_ ? bigDoc.get() : doc.get();
            auto print = std::async(std::launch::async, [&] {
                const int result = MkLabel_Print(label, printer.get());
                return std::make_pair(result, MkGetLastErrorCode());
            });
            const bool reached = waitUntil([&] { return unplugged.printer.reachedLimit(); }, 30s);
            std::this_thread::sleep_for(300ms);  // the next chunk is pending now
            unplugged.gadget.unplug();
            if (print.wait_for(40s) != std::future_status::ready) throw std::runtime_error("the unplugged print never ended");
            const auto [result, code] = print.get();
            const bool ok = reached && result == -4 && code == -505;
            const std::string outcome = std::to_string(result) + " with " + std::to_string(code) +
                                        (reached ? "" : ", the unplugging point never reached");
            if (long_) {
                middle = ok ? "" : outcome;
            } else if (ok) {
                ++good;
            } else {
                detail += "try " + std::to_string(i) + ": " + outcome + "; ";
            }
        }
        check("unplugged during the last chunk, the print fails (" + std::to_string(kTries) + " tries)", good == kTries,
              detail);
        check("unplugged in the middle of a 1 MiB job, the print fails with -505", middle.empty(), middle);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string modules = argc > 1 ? argv[1] : "/modules";
    const Clock::time_point start = Clock::now();
    try {
        run(modules);
    } catch (const std::exception& error) {
        check("test machine setup", false, error.what());
    }
    std::printf("usbvm: checks took %ld s\n", msSince(start) / 1000);
    std::printf("usbvm: %d passed, %d failed\n", passed, failed);
    std::fflush(stdout);
    // Threads still waiting on gadgets that were pulled are not joined.
    _exit(failed == 0 && passed > 0 ? 0 : 1);
}
