// RAW jobs through the Windows spooler, run under Wine by
// tests/support/with-private-cupsd: Wine hands each job to that scheduler,
// whose queues send it on to a raw TCP printer at MKLABEL_TEST_SPOOL_DEVICE.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "comm/write_data.h"
#include "mklabel.h"
#include "model/last_error.h"
#include "model/printer.h"
#include "print/printed_label.h"
#include "support/fake_net_printer.h"
#include "support/last_error_check.h"

namespace {

using mk::test::FakeNetPrinter;
using mk::test::LabelPtr;
using mk::test::PrinterPtr;
using std::chrono::milliseconds;

constexpr milliseconds kDeliveryWait{15000};

const std::uint8_t* bytesOf(const std::string& text) { return reinterpret_cast<const std::uint8_t*>(text.data()); }

Printer spoolerPrinter(const std::string& name) {
    Printer printer;
    printer.interfaceType = 0;
    printer.driverName = name;
    return printer;
}

class WindowsSpooler : public ::testing::Test {
protected:
    void SetUp() override {
        const char* address = std::getenv("MKLABEL_TEST_SPOOL_DEVICE");
        ASSERT_NE(address, nullptr) << "run by tests/support/with-private-cupsd";
        device_ = std::make_unique<FakeNetPrinter>(FakeNetPrinter::Options{.address = address});
        ASSERT_TRUE(device_->listening());
    }

    FakeNetPrinter& device() { return *device_; }

private:
    std::unique_ptr<FakeNetPrinter> device_;
};

TEST_F(WindowsSpooler, RawJobReachesTheDeviceUnchangedWhateverTheQueuesName) {
    std::string job;
    for (int value = 0; value < 256; ++value) job.push_back(static_cast<char>(value));
    const char* names[] = {"labels", "\xC3\x89tiquettes_\xE6\xA8\x99\xE7\xB1\xA4"};  // Étiquettes_標籤
    for (std::size_t i = 0; i < std::size(names); ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_TRUE(mk::sendToDriver(spoolerPrinter(names[i]), bytesOf(job), static_cast<int>(job.size())))
            << MkGetLastErrorMessage();
        ASSERT_TRUE(device().waitForJobs(i + 1, kDeliveryWait));
        EXPECT_TRUE(device().jobs()[i] == job);
    }
}

TEST_F(WindowsSpooler, FailuresCarryTheStepsCode) {
    const std::string small = "data";
    // Wine's spooler drops the scheduler's refusal of a job of a few bytes.
    const std::string label(4096, 'x');
    struct Case {
        const char* queue;
        const std::string& job;
        int code;
        const char* message;
    };
    const Case cases[] = {
        {"no-such-queue", small, MK_ERR_SPOOL_OPEN, "sendToDriver: OpenPrinter failed"},
        {"", small, MK_ERR_SPOOL_OPEN, "sendToDriver: OpenPrinter failed"},
        // Windows gives the scheduler's refusal when the document ends.
        {"closed", label, MK_ERR_SPOOL_WRITE, "sendToDriver: WritePrinter failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.queue);
        mk::setLastError(0, "");
        EXPECT_FALSE(mk::sendToDriver(spoolerPrinter(c.queue), bytesOf(c.job), static_cast<int>(c.job.size())));
        EXPECT_TRUE(mk::test::lastErrorIs(c.code, c.message));
    }
    EXPECT_FALSE(device().waitForJobs(1, milliseconds(500))) << "a refused job reached the printer";
}

TEST_F(WindowsSpooler, PrintCallDeliversTheLabel) {
    LabelPtr doc = mk::test::loadLabel(mk::test::smallPrintedLabel());
    PrinterPtr printer = mk::test::printerOfType(0);
    MkPrinter_SetName(printer.get(), "labels");

    ASSERT_EQ(MkLabelDoc_Print(doc.get(), printer.get()), MK_OK) << MkGetLastErrorMessage();
    ASSERT_TRUE(device().waitForJobs(1, kDeliveryWait));
    mk::test::expectLabelJob(device().jobs()[0], doc.get(), printer.get(), "W1,1");
}

}  // namespace
