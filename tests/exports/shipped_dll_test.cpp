// The DLL of the SDK folder as a host uses it, linked through the SDK's
// import library: the print routes, the call-back, pictures and many threads
// printing at once, through the exported calls alone.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "exports/handle_count.h"
#include "mklabel.h"
#include "support/base64_encode.h"
#include "support/fake_net_printer.h"
#include "support/handles.h"
#include "support/print_job_reader.h"

namespace {

using mk::test::FakeNetPrinter;
using mk::test::LabelPtr;
using mk::test::PrinterPtr;
using std::chrono::milliseconds;

constexpr milliseconds kArrivalWait{15000};

std::string pictureFile(const char* name) {
    std::ifstream in(std::filesystem::path(MKLABEL_TEST_PICTURES) / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// An 8 x 8 black 24-bit BMP.
std::string blackBmp() {
    std::string file(54 + 8 * 24, '\0');
    auto put32 = [&](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<char>(value >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<std::uint32_t>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, 8);
    put32(22, 8);
    file[26] = 1;
    file[28] = 24;
    return file;
}

// A 30 x 20 mm label with a filled box at 2..12 x 7..13 mm.
LabelPtr boxLabel() {
    LabelPtr doc(MkLabel_Create());
    MkLabel_SetWidth(doc.get(), 30.0f);
    MkLabel_SetHeight(doc.get(), 20.0f);
    MkLabel_SetRectFill(doc.get(), MkLabel_AddRect(doc.get(), "rectangle1", 2.0f, 7.0f, 12.0f, 13.0f, 0.5f), 1);
    return doc;
}

PrinterPtr networkPrinter(int interfaceType, const std::string& address) {
    PrinterPtr printer(MkPrinter_Create());
    MkPrinter_SetInterface(printer.get(), interfaceType);
    MkPrinter_SetNetAddress(printer.get(), address.c_str());
    MkPrinter_SetDpi(printer.get(), 203);
    return printer;
}

// The job holds a PCX graphic of the label's size, dark in the box and light
// in the top right corner, ended by the given print command.
void expectBoxJob(const std::string& bytes, const std::string& printCommand) {
    const auto job = mk::test::parsePrintJob(bytes);
    ASSERT_TRUE(job.has_value()) << "not a whole job";
    ASSERT_GE(job->lines.size(), 2u);
    EXPECT_EQ(job->lines[job->lines.size() - 2], printCommand);
    const auto picture = mk::test::decodePcx(job->graphic);
    ASSERT_TRUE(picture.has_value());
    EXPECT_EQ(picture->width, 240);
    EXPECT_EQ(picture->height, 160);
    EXPECT_FALSE(picture->isLight(56, 80));
    EXPECT_TRUE(picture->isLight(239, 0));
}

TEST(ShippedDll, NetworkPrintStatusAndCallBack) {
    FakeNetPrinter device;
    ASSERT_TRUE(device.listening());
    device.setStatusReplies({'Q'});
    LabelPtr doc = boxLabel();
    PrinterPtr plain = networkPrinter(MK_INTERFACE_NETWORK, device.address());
    ASSERT_EQ(MkLabelDoc_Print(doc.get(), plain.get()), MK_OK);
    ASSERT_TRUE(device.waitForJobs(1, kArrivalWait));
    expectBoxJob(device.jobs()[0], "W1,1");
    EXPECT_EQ(MkPrinter_GetStatusCode(plain.get()), 81);

    // The printer calls back to the host's own interface address.
    device.setCallbackAnswer("PN");
    PrinterPtr confirming = networkPrinter(5, device.address());
    ASSERT_EQ(MkLabelDoc_Print(doc.get(), confirming.get()), MK_OK) << MkGetLastErrorMessage();
    ASSERT_TRUE(device.waitForJobs(2, kArrivalWait));
    const std::string job = device.jobs()[1];
    expectBoxJob(job.substr(job.find("\r\n") + 2), "PN1,1");
    device.setCallbackAnswer("\x02" "0123ABCD\x03\r\n");
    char tag[64] = "";
    EXPECT_EQ(MkPrinter_ReadUHFTag(plain.get(), 1, 6, 5000, tag, sizeof tag), 8) << MkGetLastErrorMessage();
    EXPECT_STREQ(tag, "0123ABCD");
}

// Run by tests/support/with-private-cupsd, whose queue "labels" hands its
// jobs to a raw printer at MKLABEL_TEST_SPOOL_DEVICE.
TEST(ShippedDll, SpoolerPrint) {
    const char* address = std::getenv("MKLABEL_TEST_SPOOL_DEVICE");
    if (address == nullptr) GTEST_SKIP() << "run by tests/support/with-private-cupsd";
    FakeNetPrinter device(FakeNetPrinter::Options{.address = address});
    ASSERT_TRUE(device.listening());
    LabelPtr doc = boxLabel();
    PrinterPtr printer(MkPrinter_Create());
    MkPrinter_SetInterface(printer.get(), MK_INTERFACE_SPOOLER);
    MkPrinter_SetName(printer.get(), "labels");
    ASSERT_EQ(MkLabelDoc_Print(doc.get(), printer.get()), MK_OK) << MkGetLastErrorMessage();
    ASSERT_TRUE(device.waitForJobs(1, kArrivalWait));
    expectBoxJob(device.jobs()[0], "W1,1");
    MkPrinter_SetName(printer.get(), "no-such-queue");
    EXPECT_EQ(MkLabelDoc_Print(doc.get(), printer.get()), MK_PRINT_SEND_FAILED);
    EXPECT_EQ(MkGetLastErrorCode(), MK_ERR_SPOOL_OPEN);
}

// Dark pixels of a 30 x 20 mm label at 203 dpi holding one object: inside
// the box 16..16+w x 16..16+h, and outside it.
struct Ink {
    int inside = 0;
    int outside = 0;
};

Ink inkOf(const char* name, const std::string& imageBytes, int w, int h) {
    LabelPtr doc(MkLabel_Create());
    MkLabel_SetWidth(doc.get(), 30.0f);
    MkLabel_SetHeight(doc.get(), 20.0f);
    if (imageBytes.empty()) {
        MkLabel_SetRectFill(doc.get(), MkLabel_AddRect(doc.get(), name, 2.5f, 2.5f, 3.5f, 3.5f, 0.5f), 1);
    } else {
        EXPECT_GE(MkLabel_AddImage(doc.get(), name, 2.0f, 2.0f, 1.0f, mk::test::base64Encode(imageBytes).c_str()), 0);
    }
    void* pixels = nullptr;
    int width = 0, height = 0, stride = 0;
    Ink ink;
    if (MkLabelDoc_Render(doc.get(), nullptr, 0, &pixels, &width, &height, &stride) != MK_OK) return ink;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const auto* pixel = static_cast<const std::uint8_t*>(pixels) + y * stride + x * 4;
            if (pixel[0] + pixel[1] + pixel[2] >= 3 * 128) continue;
            (x >= 16 && x < 16 + w && y >= 16 && y < 16 + h ? ink.inside : ink.outside) += 1;
        }
    }
    MkFree(pixels);
    return ink;
}

TEST(ShippedDll, PicturesDrawAndOtherObjectsAndFormatsDoNot) {
    struct Case {
        const char* name;
        std::string bytes;
        int width, height;
        bool drawn;
    };
    const Case cases[] = {
        {"image1", blackBmp(), 8, 8, true},
        {"image2", pictureFile("blocks.gif"), 48, 32, true},
        {"image3", pictureFile("blocks.jpg"), 48, 32, true},
        {"image4", pictureFile("blocks.ico"), 32, 16, true},
        // A TIFF file: neither platform draws it.
        {"image5", std::string("II*\0\x08\0\0\0\0\0", 10), 1, 1, false},
        // Only objects whose names start with a kind's name are drawn.
        {"picture", blackBmp(), 8, 8, false},
        {"rectangle", "", 17, 17, true},
        {"rect", "", 17, 17, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Ink ink = inkOf(c.name, c.bytes, c.width, c.height);
        EXPECT_EQ(ink.inside > 0, c.drawn);
        EXPECT_EQ(ink.outside, 0);
    }
}

// A printer in a process of its own (this program, started with --printer),
// so that this process uses Winsock only through the library, as a host that
// opens no sockets of its own. It prints its address, and once asked for its
// status, the number of jobs it received.
class PrinterProcess {
public:
    explicit PrinterProcess(int expectedJobs) {
        char self[MAX_PATH] = "";
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        pipe_ = _popen((std::string(self) + " --printer " + std::to_string(expectedJobs)).c_str(), "r");
        address_ = readLine();
    }
    ~PrinterProcess() {
        if (pipe_ != nullptr) _pclose(pipe_);
    }
    PrinterProcess(const PrinterProcess&) = delete;
    PrinterProcess& operator=(const PrinterProcess&) = delete;

    const std::string& address() const { return address_; }
    int jobsReceived() { return std::atoi(readLine().c_str()); }

private:
    std::string readLine() {
        char line[64] = "";
        if (pipe_ == nullptr || std::fgets(line, sizeof line, pipe_) == nullptr) return {};
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        return text;
    }

    FILE* pipe_ = nullptr;
    std::string address_;
};

int servePrinter(int expectedJobs) {
    FakeNetPrinter printer(FakeNetPrinter::Options{.keptJobs = 1});
    if (!printer.listening()) return 1;
    std::printf("%s\n", printer.address().c_str());
    std::fflush(stdout);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (printer.statusRequests().empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(milliseconds(20));
    }
    printer.waitForJobs(static_cast<std::size_t>(expectedJobs), milliseconds(5000));
    std::printf("%zu\n", printer.jobCount());
    return 0;
}

// Hosts print from several threads at once: every print arrives, and the
// process holds no more handles after them than after a first round.
TEST(ShippedDll, PrintsFromEightThreadsAtOnce) {
    constexpr int kThreads = 8;
    constexpr int kPrintsEach = 100;
    PrinterProcess device(kThreads * (1 + kPrintsEach));
    ASSERT_FALSE(device.address().empty()) << "the printer process did not start";
    LabelPtr docs[kThreads];
    for (LabelPtr& doc : docs) doc = boxLabel();
    std::atomic<int> failures{0};
    std::atomic<int> firstFailure{0};
    const auto printOnEveryThread = [&](int prints) {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                PrinterPtr printer = networkPrinter(MK_INTERFACE_NETWORK, device.address());
                for (int i = 0; i < prints; ++i) {
                    const int result = MkLabel_Print(docs[t].get(), printer.get());
                    if (result != MK_OK && failures.fetch_add(1) == 0) firstFailure = result;
                }
            });
        }
        for (std::thread& thread : threads) thread.join();
    };
    printOnEveryThread(1);
    const unsigned long handlesBefore = openHandleCount();
    printOnEveryThread(kPrintsEach);
    const unsigned long handlesAfter = openHandleCount();
    EXPECT_EQ(failures.load(), 0) << "first failure: " << firstFailure.load();
    PrinterPtr asking = networkPrinter(MK_INTERFACE_NETWORK, device.address());
    EXPECT_EQ(MkPrinter_GetStatusCode(asking.get()), 0);
    EXPECT_EQ(device.jobsReceived(), kThreads * (1 + kPrintsEach) - failures.load());
    std::printf("%d prints on %d threads: %d failed; open handles %lu before, %lu after\n",
                kThreads * (1 + kPrintsEach), kThreads, failures.load(), handlesBefore, handlesAfter);
    EXPECT_LE(handlesAfter, handlesBefore);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--printer") return servePrinter(std::atoi(argv[2]));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
