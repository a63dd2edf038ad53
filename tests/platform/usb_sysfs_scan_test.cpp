#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <thread>
#include <vector>

#include "platform/linux/node_holders.h"
#include "platform/linux/usb_sysfs_scan.h"
#include "platform/linux/usbfs_calls.h"
#include "support/fake_usb_device.h"
#include "support/temp_dir.h"

namespace {

// A pseudo-terminal: a character device of its own that no other process
// has open, held by this process while the object lives.
struct PseudoTerminal {
    PseudoTerminal() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return;
        path = ::ptsname(master);
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) device = st.st_rdev;
    }
    ~PseudoTerminal() {
        if (master >= 0) ::close(master);
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    int master = -1;
    std::string path;
    dev_t device = 0;  // 0 when it could not be made
};

using mk::platform::scanUsbSysfs;
using mk::platform::UsbPrinterNode;
using mk::test::FakeUsbAddress;

TEST(UsbSysfsScan, ListsEveryPrinterInterfaceByBusAndAddressWithItsIdsSerialAndNode) {
    mk::test::FakeUsbBus bus;
    bus.plug("9f3c", "41a7", "SER-A", FakeUsbAddress{2, 3});
    bus.plug("04b8", "0202", "EPS01", FakeUsbAddress{1, 12});
    bus.plug("b7e2", "0c15", std::nullopt, FakeUsbAddress{1, 4});
    bus.addVanishingDevice();
    bus.addOtherDevice("9f3c", "41a7");

    const auto nodes = scanUsbSysfs(bus.sysfsRoot(), bus.devRoot());
    ASSERT_TRUE(nodes.has_value());
    const std::string usb = (bus.devRoot() / "bus" / "usb").string();
    const std::vector<std::pair<std::string, std::string>> expected = {
        {usb + "/001/004", "usb#vid_b7e2&pid_0c15##1-3:1.0"},
        {usb + "/001/012", "usb#vid_04b8&pid_0202#EPS01#1-2:1.0"},
        {usb + "/002/003", "usb#vid_9f3c&pid_41a7#SER-A#2-1:1.0"},
    };
    ASSERT_EQ(nodes->size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ((*nodes)[i].devicePath, expected[i].first);
        EXPECT_EQ((*nodes)[i].identifier, expected[i].second);
    }
}

TEST(UsbSysfsScan, ASystemWithoutUsbHasNoPrintersAndAnUnlistableBusIsAFailure) {
    const auto none = scanUsbSysfs("/nonexistent-sysfs-root", "/dev");
    ASSERT_TRUE(none.has_value());
    EXPECT_TRUE(none->empty());

    mk::test::FakeUsbBus bus;
    bus.plugPrinter("X");
    bus.breakDevicesFolder();
    EXPECT_FALSE(scanUsbSysfs(bus.sysfsRoot(), bus.devRoot()).has_value());
}

// A sysfs tree written by hand, for names and numbers the fake bus does not
// make: devices 1-1 and 1-10, a device behind a hub, interface numbers of 10
// and more, drivers bound to interfaces.
class SysfsTree {
public:
    void device(const std::string& name, unsigned address, const std::string& serial, const std::string& bus = "1") {
        write(name + "/busnum", bus);
        write(name + "/devnum", std::to_string(address));
        write(name + "/idVendor", "9f3c");
        write(name + "/idProduct", "41a7");
        write(name + "/serial", serial);
    }
    // bInterfaceNumber as sysfs spells it (two hexadecimal digits); usblp's
    // node number as in its "dev" file, none when empty; the driver bound
    // (usblp where it made a node), none when empty.
    void interface(const std::string& name, const std::string& interfaceClass, const std::string& number,
                   const std::string& lpDev = {}, std::string driver = {}) {
        write(name + "/bInterfaceClass", interfaceClass);
        write(name + "/bInterfaceNumber", number);
        if (!lpDev.empty()) write(name + "/usbmisc/lp" + std::to_string(lps_++) + "/dev", lpDev);
        if (driver.empty() && !lpDev.empty()) driver = "usblp";
        if (!driver.empty()) {
            std::filesystem::create_directories(root_.path() / "drivers" / driver);
            std::filesystem::create_symlink(root_.path() / "drivers" / driver, devices() / name / "driver");
        }
    }
    const std::filesystem::path& root() const { return root_.path(); }
    std::filesystem::path devices() const { return root_.path() / "bus" / "usb" / "devices"; }

    // Any file under the devices folder.
    void write(const std::string& file, const std::string& value) {
        const std::filesystem::path path = devices() / file;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << value << "\n";
    }

private:
    mk::test::TempDir root_;
    int lps_ = 0;
};

TEST(UsbSysfsScan, TakesEachDevicesFirstPrinterInterfaceByNumberAndReadsNamesAndNumbersWhole) {
    SysfsTree sysfs;
    sysfs.device("1-1", 2, "ONE");
    sysfs.interface("1-1:1.0", "03", "00");
    sysfs.interface("1-1:1.2", "07", "02");
    sysfs.interface("1-1:1.10", "07", "0a");
    sysfs.interface("1-1:1.1x", "07", "01");  // not a number: no interface
    sysfs.device("1-10", 11, "TEN");
    sysfs.interface("1-10:1.0", "07", "00");
    sysfs.device("1-1.2", 5, "HUBBED");  // port 2 of a hub on port 1
    sysfs.interface("1-1.2:1.0", "07", "00");
    sysfs.device("1-4", 3, "BUS3X", "3x");
    sysfs.interface("1-4:1.0", "07", "00");
    sysfs.device("1-5", 6, "DEV7X");
    sysfs.write("1-5/devnum", "7x");
    sysfs.interface("1-5:1.0", "07", "00");
    sysfs.device("1-6", 8, "CONF");
    sysfs.interface("1-6:x.0", "07", "00");
    const auto nodes = scanUsbSysfs(sysfs.root(), "/dev");
    ASSERT_TRUE(nodes.has_value());
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"/dev/bus/usb/001/002", "usb#vid_9f3c&pid_41a7#ONE#1-1:1.2"},
        {"/dev/bus/usb/001/005", "usb#vid_9f3c&pid_41a7#HUBBED#1-1.2:1.0"},
        {"/dev/bus/usb/001/011", "usb#vid_9f3c&pid_41a7#TEN#1-10:1.0"},
    };
    ASSERT_EQ(nodes->size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ((*nodes)[i].devicePath, expected[i].first);
        EXPECT_EQ((*nodes)[i].identifier, expected[i].second);
    }
}

TEST(UsbSysfsScan, ReadsEachAttachmentsSerialOnceAndForgetsTheOldest) {
    SysfsTree sysfs;
    sysfs.device("1-1", 2, "FIRST");
    sysfs.interface("1-1:1.0", "07", "00");
    sysfs.device("1-2", 3, "");
    sysfs.write("1-2/serial", "");
    std::filesystem::remove(sysfs.devices() / "1-2" / "serial");  // a device without one
    sysfs.interface("1-2:1.0", "07", "00");
    mk::platform::UsbSerialMemo memo;
    const auto identifiers = [&] {
        std::vector<std::string> found;
        const auto nodes = scanUsbSysfs(sysfs.root(), "/dev", &memo);
        for (const UsbPrinterNode& node : nodes.value()) {
            found.push_back(node.identifier);
        }
        return found;
    };
    const std::vector<std::string> first = {"usb#vid_9f3c&pid_41a7#FIRST#1-1:1.0", "usb#vid_9f3c&pid_41a7##1-2:1.0"};
    EXPECT_EQ(identifiers(), first);
    // While a driver probes a device its serial cannot be read without
    // waiting: a kept one is not read again. A serial that is not there
    // stays not there.
    sysfs.write("1-1/serial", "CHANGED");
    sysfs.write("1-2/serial", "APPEARED");
    EXPECT_EQ(identifiers(), first);
    // Plugged again: another address, read afresh.
    sysfs.write("1-1/devnum", "9");
    EXPECT_EQ(identifiers()[1], "usb#vid_9f3c&pid_41a7#CHANGED#1-1:1.0");

    mk::platform::UsbSerialMemo bounded;
    for (unsigned i = 0; i <= mk::platform::UsbSerialMemo::kEntries; ++i) {
        bounded.keep({"1-1", 1, i, "9f3c:41a7"}, "S" + std::to_string(i));
    }
    EXPECT_EQ(bounded.find({"1-1", 1, 0, "9f3c:41a7"}), std::nullopt);
    EXPECT_EQ(bounded.find({"1-1", 1, 1, "9f3c:41a7"}), "S1");
    EXPECT_EQ(bounded.find({"1-1", 1, 1, "b7e2:0c15"}), std::nullopt);
}

TEST(UsbSysfsScan, TellsWhichDriverHasAnInterfaceAndUsblpsNode) {
    SysfsTree sysfs;
    sysfs.device("1-1", 2, "A");
    sysfs.interface("1-1:1.1", "07", "01", "180:1");
    sysfs.device("1-10", 11, "B");
    sysfs.interface("1-10:1.0", "07", "00", "180:0");
    sysfs.interface("1-10:1.10", "07", "0a", "180:2");
    sysfs.interface("1-10:1.11", "07", "0b");
    sysfs.interface("1-10:1.12", "07", "0c", {}, "usbfs");  // a program claimed it
    sysfs.interface("1-10:1.13", "07", "0d", {}, "usblp");  // bound, no node to be seen
    sysfs.device("1-3", 4, "C");
    sysfs.interface("1-3:1.0", "07", "00", "garbled");
    sysfs.interface("1-3:1.1", "07", "01", {}, "usblp");
    sysfs.write("1-3:1.1/usbmisc", "not a folder");
    sysfs.device("1-1.2", 5, "D");
    sysfs.interface("1-1.2:1.0", "07", "00", "180:3");

    using Found = mk::platform::UsblpNode::Found;
    struct Case {
        std::string usbNode;
        int interface;
        Found found;
        dev_t device;
    };
    const std::vector<Case> cases = {
        {"/dev/bus/usb/001/002", 1, Found::Node, makedev(180, 1)},
        {"/dev/bus/usb/001/002", 0, Found::None, 0},  // 1-10's interface 0 is not 1-1's
        {"/dev/bus/usb/001/011", 0, Found::Node, makedev(180, 0)},
        {"/dev/bus/usb/001/011", 10, Found::Node, makedev(180, 2)},
        {"/dev/bus/usb/001/011", 11, Found::None, 0},  // no driver bound
        {"/dev/bus/usb/001/011", 12, Found::OtherDriver, 0},
        {"/dev/bus/usb/001/011", 13, Found::Unreadable, 0},
        {"/dev/bus/usb/001/011", 3, Found::None, 0},
        {"/dev/bus/usb/001/050", 0, Found::None, 0},  // gone
        {"/dev/bus/usb/001/004", 0, Found::Unreadable, 0},
        {"/dev/bus/usb/001/004", 1, Found::Unreadable, 0},
        {"/dev/bus/usb/001/005", 0, Found::Node, makedev(180, 3)},
        {"/dev/bus/usb/001/0x5", 0, Found::None, 0},
    };
    for (const Case& c : cases) {
        const mk::platform::UsblpNode node = mk::platform::usblpNodeOf(sysfs.root(), c.usbNode, c.interface);
        EXPECT_EQ(node.found, c.found) << c.usbNode << " " << c.interface;
        EXPECT_EQ(node.device, c.device) << c.usbNode << " " << c.interface;
    }
}

TEST(SystemUsbfsCalls, TellsTheHolderFromSysfsAndProcAndAnUnreadableSysfsIsNoOneKnownToBeSafe) {
    namespace fs = std::filesystem;
    // usblp's node stands for a pseudo-terminal this process may hold.
    const PseudoTerminal terminal;
    ASSERT_NE(terminal.device, dev_t{0});
    const std::string lpDev = std::to_string(major(terminal.device)) + ":" + std::to_string(minor(terminal.device));

    SysfsTree sysfs;
    sysfs.device("1-1", 2, "A");
    sysfs.interface("1-1:1.0", "07", "00", lpDev);
    sysfs.write("1-1/descriptors", "");
    sysfs.device("1-2", 3, "B");
    sysfs.interface("1-2:1.0", "07", "00", {}, "usbfs");
    sysfs.device("1-3", 4, "C");
    sysfs.interface("1-3:1.0", "07", "00");
    SysfsTree broken;
    fs::create_directories(broken.devices().parent_path());
    std::ofstream(broken.devices()) << "a file where the devices folder is";
    const mk::platform::SystemUsbfsCalls calls(sysfs.root(), "/proc", "/dev");
    const mk::platform::SystemUsbfsCalls unreadable(broken.root(), "/proc", "/dev");
    const mk::test::TempDir noProcesses;
    fs::create_directories(noProcesses / "100");
    const mk::platform::SystemUsbfsCalls unlistedProc(sysfs.root(), noProcesses / "absent", "/dev");

    using mk::platform::InterfaceHolder;
    EXPECT_EQ(calls.holderOf("/dev/bus/usb/001/002", 0), InterfaceHolder::Usblp);
    const int held = ::open(terminal.path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    EXPECT_EQ(calls.holderOf("/dev/bus/usb/001/002", 0), InterfaceHolder::UsblpNodeOpen);
    EXPECT_EQ(unlistedProc.holderOf("/dev/bus/usb/001/002", 0), InterfaceHolder::UsblpNodeOpen);
    ::close(held);
    EXPECT_EQ(calls.holderOf("/dev/bus/usb/001/003", 0), InterfaceHolder::Other);
    EXPECT_EQ(calls.holderOf("/dev/bus/usb/001/004", 0), InterfaceHolder::None);
    EXPECT_EQ(unreadable.holderOf("/dev/bus/usb/001/002", 0), InterfaceHolder::Unknown);

    EXPECT_TRUE(calls.lookAt("/dev/bus/usb/001/002").has_value());
    EXPECT_EQ(calls.lookAt("/dev/bus/usb/001/002")->configuration, 1);
    EXPECT_FALSE(calls.lookAt("/dev/bus/usb/001/003").has_value());  // no descriptors: going away
    EXPECT_FALSE(unreadable.lookAt("/dev/bus/usb/001/002").has_value());
    mk::platform::UsbSerialMemo memo;
    EXPECT_FALSE(unreadable.listPrinters(memo).has_value());
    EXPECT_EQ(calls.listPrinters(memo).value().size(), 3u);
}

TEST(NodeHolders, RecognisesAHolderByTheDeviceItHasOpenNotByTheNameItUsed) {
    namespace fs = std::filesystem;
    const auto deviceOf = [](const char* path) {
        struct stat st {};
        EXPECT_EQ(::stat(path, &st), 0) << path;
        return st.st_rdev;
    };
    const mk::test::TempDir temp;
    const fs::path& root = temp.path();
    const fs::path proc = root / "proc";
    const fs::path names = root / "names";
    fs::create_directories(names / "usb");
    fs::create_symlink("/dev/zero", names / "usb" / "lp0");  // another device by the printer's name
    fs::create_symlink("/dev/full", names / "printer");      // the printer's device by another name
    const auto holds = [&](const std::string& pid, const std::string& fd, const fs::path& target) {
        fs::create_directories(proc / pid / "fd");
        fs::create_symlink(target, proc / pid / "fd" / fd);
    };
    holds("100", "3", "/dev/null");
    holds("100", "4", names / "usb" / "lp0");
    holds("self", "5", "/dev/full");  // not a process of its own
    fs::create_directories(proc / "300");  // ended: no fd folder
    // fd folders that cannot be listed (a process of another user, or one
    // ending meanwhile), among many so that some are listed before a holder.
    for (int pid = 400; pid < 420; ++pid) {
        fs::create_directories(proc / std::to_string(pid));
        std::ofstream(proc / std::to_string(pid) / "fd") << "not a folder";
    }
    const dev_t printer = deviceOf("/dev/full");
    EXPECT_FALSE(mk::platform::deviceOpenInAnyProcess(proc, printer));
    EXPECT_TRUE(mk::platform::deviceOpenInAnyProcess(proc, deviceOf("/dev/zero")));
    holds("200", "7", names / "printer");
    EXPECT_TRUE(mk::platform::deviceOpenInAnyProcess(proc, printer));
    fs::remove_all(proc / "200");
    holds("999", "2", names / "printer");
    EXPECT_TRUE(mk::platform::deviceOpenInAnyProcess(proc, printer));
    // No process list at all: no one can be seen to be safe.
    EXPECT_TRUE(mk::platform::deviceOpenInAnyProcess(root / "absent", printer));
}

TEST(NodeHolders, SeesADeviceOnlyWhileAProcessHasItOpenByAnyName) {
    const PseudoTerminal terminal;
    ASSERT_NE(terminal.device, dev_t{0});
    const mk::test::TempDir temp;
    const std::filesystem::path alias = temp / "terminal";
    std::filesystem::create_symlink(terminal.path, alias);
    EXPECT_FALSE(mk::platform::deviceOpenInAnyProcess("/proc", terminal.device));
    const int fd = ::open(alias.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    EXPECT_TRUE(mk::platform::deviceOpenInAnyProcess("/proc", terminal.device));
    ::close(fd);
    EXPECT_FALSE(mk::platform::deviceOpenInAnyProcess("/proc", terminal.device));
}

TEST(SystemUsbDriver, OpensNothingThatIsNotAUsbPrinterAndKeepsNoDescriptorOrThread) {
    const auto entries = [](const char* folder) {
        return std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator());
    };
    const auto descriptors = [&] { return entries("/proc/self/fd"); };
    // ThreadSanitizer starts a thread of its own when the process makes its
    // first one: let that happen before counting.
    std::thread([] {}).join();
    const auto threads = entries("/proc/self/task");
    const mk::platform::UsbDriver& driver = mk::platform::systemUsbDriver();
    (void)driver.open("/dev/null", mk::platform::UsbAccess::ReadWrite);
    EXPECT_EQ(entries("/proc/self/task"), threads);
    const auto before = descriptors();
    for (const char* path : {"/nonexistent/bus/usb/001/002", "/dev/null"}) {
        EXPECT_EQ(driver.open(path, mk::platform::UsbAccess::ReadWrite), nullptr) << path;
    }
    EXPECT_EQ(descriptors(), before);
}

}  // namespace
