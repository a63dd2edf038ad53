#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "comm/write_data.h"
#include "mklabel.h"
#include "model/last_error.h"
#include "model/printer.h"
#include "support/fake_net_printer.h"
#include "support/private_cupsd.h"

namespace {

using mk::testing::FakeNetPrinter;
using mk::testing::PrivateCupsd;
using std::chrono::milliseconds;

constexpr int kJobStateHeld = 4;       // a job whose document never ended stays held
constexpr int kJobStateCancelled = 7;
constexpr milliseconds kDeliveryWait{15000};

std::string allByteValues() {
    std::string bytes;
    for (int value = 0; value < 256; ++value) bytes.push_back(static_cast<char>(value));
    return bytes;
}

const std::uint8_t* bytesOf(const std::string& text) { return reinterpret_cast<const std::uint8_t*>(text.data()); }

Printer spoolerPrinter(const std::string& name) {
    Printer printer;
    printer.interfaceType = 0;
    printer.driverName = name;
    return printer;
}

#define ASSERT_SCHEDULER_READY(cupsd) ASSERT_TRUE((cupsd).ready()) << (cupsd).log()

TEST(Spooler, RawJobReachesTheDeviceUnchanged) {
    PrivateCupsd cupsd;
    ASSERT_SCHEDULER_READY(cupsd);
    FakeNetPrinter device;
    ASSERT_TRUE(cupsd.addRawQueue("labels", device.address(), 9100)) << cupsd.log();
    const std::string job = allByteValues();

    EXPECT_TRUE(mk::sendToDriver(spoolerPrinter("labels"), bytesOf(job), static_cast<int>(job.size())));
    ASSERT_TRUE(device.waitForJobs(1, kDeliveryWait)) << cupsd.log();
    EXPECT_TRUE(device.jobs()[0] == job);
    const auto jobs = cupsd.jobs("labels");
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].title, "MK_Stampwell Job");
}

TEST(Spooler, PrinterNameInUtf8ReachesTheSchedulerAsGiven) {
    PrivateCupsd cupsd;
    ASSERT_SCHEDULER_READY(cupsd);
    FakeNetPrinter device;
    const std::string name = "\xC3\x89tiquettes_\xE6\xA8\x99\xE7\xB1\xA4";  // Étiquettes_標籤
    ASSERT_TRUE(cupsd.addRawQueue(name, device.address(), 9100)) << cupsd.log();
    const std::string job = "^XA^FDhello^XZ\r\n";

    EXPECT_TRUE(mk::sendToDriver(spoolerPrinter(name), bytesOf(job), static_cast<int>(job.size())));
    ASSERT_TRUE(device.waitForJobs(1, kDeliveryWait)) << cupsd.log();
    EXPECT_EQ(device.jobs()[0], job);
}

TEST(Spooler, MissingQueueCannotBeOpened) {
    PrivateCupsd cupsd;
    ASSERT_SCHEDULER_READY(cupsd);
    const std::string job = "data";
    for (const char* name : {"no-such-queue", ""}) {
        SCOPED_TRACE(name);
        mk::setLastError(0, "");
        EXPECT_FALSE(mk::sendToDriver(spoolerPrinter(name), bytesOf(job), 4));
        EXPECT_EQ(mk::getLastErrorCode(), MK_ERR_SPOOL_OPEN);
        EXPECT_STREQ(mk::getLastErrorMessage(), "sendToDriver: OpenPrinter failed");
    }
}

TEST(Spooler, QueueRefusingJobsFailsToStartTheJob) {
    PrivateCupsd cupsd;
    ASSERT_SCHEDULER_READY(cupsd);
    FakeNetPrinter device;
    ASSERT_TRUE(cupsd.addRawQueue("closed", device.address(), 9100)) << cupsd.log();
    ASSERT_TRUE(cupsd.rejectJobs("closed")) << cupsd.log();
    const std::string job = "data";

    EXPECT_FALSE(mk::sendToDriver(spoolerPrinter("closed"), bytesOf(job), 4));
    EXPECT_EQ(mk::getLastErrorCode(), MK_ERR_SPOOL_START_DOC);
    EXPECT_STREQ(mk::getLastErrorMessage(), "sendToDriver: StartDocPrinter failed");
    EXPECT_TRUE(cupsd.jobs("closed").empty());
}

TEST(Spooler, RefusedDocumentLeavesNoHalfJobQueued) {
    // The scheduler refuses requests above 1 KiB, so the document is refused
    // after its job was created.
    PrivateCupsd cupsd("LimitRequestBody 1024\n");
    ASSERT_SCHEDULER_READY(cupsd);
    FakeNetPrinter device;
    ASSERT_TRUE(cupsd.addRawQueue("small", device.address(), 9100)) << cupsd.log();
    const std::string job(64 * 1024, 'x');

    EXPECT_FALSE(mk::sendToDriver(spoolerPrinter("small"), bytesOf(job), static_cast<int>(job.size())));
    EXPECT_EQ(mk::getLastErrorCode(), MK_ERR_SPOOL_WRITE);
    EXPECT_STREQ(mk::getLastErrorMessage(), "sendToDriver: WritePrinter failed");
    const auto jobs = cupsd.jobs("small");
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].state, kJobStateCancelled);
    EXPECT_FALSE(device.waitForJobs(1, milliseconds(300)));
}

TEST(Spooler, DeviceRefusingConnectionsStillEndsTheJob) {
    PrivateCupsd cupsd;
    ASSERT_SCHEDULER_READY(cupsd);
    FakeNetPrinter device(FakeNetPrinter::Options{.raw = FakeNetPrinter::Behaviour::Refuse});
    ASSERT_TRUE(cupsd.addRawQueue("offline", device.address(), 9100)) << cupsd.log();
    const std::string job = "data";

    // The scheduler took the whole document; delivering it is its business.
    EXPECT_TRUE(mk::sendToDriver(spoolerPrinter("offline"), bytesOf(job), 4));
    const auto jobs = cupsd.jobs("offline");
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_NE(jobs[0].state, kJobStateHeld);
}

TEST(Spooler, NothingToSendIsRefusedWithoutALastError) {
    mk::setLastError(-1, "earlier");
    const std::string job = "data";
    EXPECT_FALSE(mk::sendToDriver(spoolerPrinter("any"), nullptr, 4));
    EXPECT_FALSE(mk::sendToDriver(spoolerPrinter("any"), bytesOf(job), 0));
    EXPECT_EQ(mk::getLastErrorCode(), -1);
    EXPECT_STREQ(mk::getLastErrorMessage(), "earlier");
}

}  // namespace
