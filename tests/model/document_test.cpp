#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <thread>

#include "mklabel.h"
#include "model/copy_out.h"
#include "model/label_doc.h"
#include "model/last_error.h"
#include "support/handles.h"

namespace {

using mk::test::LabelPtr;

TEST(Document, NewDocumentHasTheDesignDefaults) {
    LabelPtr doc(MkLabel_Create());
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(MkLabelDoc_GetPrinterDpi(doc.get()), 203);
    EXPECT_EQ(MkLabelDoc_GetPrinterSpeed(doc.get()), 4);
    EXPECT_EQ(MkLabelDoc_GetPrinterDarkness(doc.get()), 10);
    EXPECT_EQ(MkLabelDoc_GetPrinterPageDirection(doc.get()), 1);
    EXPECT_TRUE(MkLabelDoc_GetPrinterHaveGap(doc.get()));
    EXPECT_FLOAT_EQ(MkLabel_GetWidth(doc.get()), 104.0f);
    EXPECT_FLOAT_EQ(MkLabel_GetHeight(doc.get()), 75.0f);
    EXPECT_FLOAT_EQ(MkLabel_GetRowGap(doc.get()), 2.0f);
    EXPECT_FLOAT_EQ(MkLabel_GetColumnGap(doc.get()), 2.0f);
    EXPECT_EQ(MkLabel_GetRowCount(doc.get()), 1);
    EXPECT_EQ(MkLabel_GetColumnCount(doc.get()), 1);
    EXPECT_EQ(MkLabel_GetLeftOffset(doc.get()), 0.0f);
    EXPECT_EQ(MkLabel_GetTopOffset(doc.get()), 0.0f);
    EXPECT_EQ(MkLabel_GetPageLeftEdges(doc.get()), 0.0f);
    EXPECT_EQ(MkLabel_GetPageRightEdges(doc.get()), 0.0f);
    EXPECT_EQ(MkLabel_GetStartLocation(doc.get()), 0);
    EXPECT_EQ(MkLabel_GetLabelOrder(doc.get()), 0);
    EXPECT_EQ(MkLabel_GetLabelShape(doc.get()), 0);
    EXPECT_EQ(MkLabelDoc_GetObjectCount(doc.get()), 0);

    // Fields without exported getters.
    EXPECT_EQ(doc->printCount, 1);
    EXPECT_EQ(doc->copyCount, 1);
    EXPECT_FALSE(doc->reverse);
    EXPECT_EQ(doc->scaledDpi, 0);
    EXPECT_EQ(doc->fileVersion, 1.0f);
    EXPECT_TRUE(doc->errorText.empty());
}

TEST(Document, GeometrySettersStoreValuesAsGiven) {
    LabelPtr doc(MkLabel_Create());
    MkLabel_SetWidth(doc.get(), -5.0f);
    MkLabel_SetHeight(doc.get(), 0.0f);
    MkLabel_SetRowGap(doc.get(), 1.5f);
    MkLabel_SetColumnGap(doc.get(), -2.25f);
    MkLabel_SetRowCount(doc.get(), 0);
    MkLabel_SetColumnCount(doc.get(), -3);
    MkLabel_SetLeftOffset(doc.get(), 7.5f);
    MkLabel_SetTopOffset(doc.get(), -1.0f);
    MkLabel_SetPageLeftEdges(doc.get(), 3.0f);
    MkLabel_SetPageRightEdges(doc.get(), 4.0f);
    MkLabel_SetStartLocation(doc.get(), 9);
    MkLabel_SetLabelOrder(doc.get(), -7);
    MkLabel_SetLabelShape(doc.get(), 12);

    EXPECT_EQ(MkLabel_GetWidth(doc.get()), -5.0f);
    EXPECT_EQ(MkLabel_GetHeight(doc.get()), 0.0f);
    EXPECT_EQ(MkLabel_GetRowGap(doc.get()), 1.5f);
    EXPECT_EQ(MkLabel_GetColumnGap(doc.get()), -2.25f);
    EXPECT_EQ(MkLabel_GetRowCount(doc.get()), 0);
    EXPECT_EQ(MkLabel_GetColumnCount(doc.get()), -3);
    EXPECT_EQ(MkLabel_GetLeftOffset(doc.get()), 7.5f);
    EXPECT_EQ(MkLabel_GetTopOffset(doc.get()), -1.0f);
    EXPECT_EQ(MkLabel_GetPageLeftEdges(doc.get()), 3.0f);
    EXPECT_EQ(MkLabel_GetPageRightEdges(doc.get()), 4.0f);
    EXPECT_EQ(MkLabel_GetStartLocation(doc.get()), 9);
    EXPECT_EQ(MkLabel_GetLabelOrder(doc.get()), -7);
    EXPECT_EQ(MkLabel_GetLabelShape(doc.get()), 12);
}

TEST(Document, CountsAndReverseFlag) {
    LabelPtr doc(MkLabel_Create());
    MkLabelDoc_SetPrintCount(doc.get(), 5);
    MkLabelDoc_SetCopyCount(doc.get(), -2);
    EXPECT_EQ(doc->printCount, 5);
    EXPECT_EQ(doc->copyCount, -2);
    MkLabelDoc_SetReverse(doc.get(), 2);
    EXPECT_TRUE(doc->reverse);
    MkLabelDoc_SetReverse(doc.get(), 0);
    EXPECT_FALSE(doc->reverse);
}

TEST(Document, NullHandleGivesZeroAndSettersDoNothing) {
    EXPECT_EQ(MkLabelDoc_GetPrinterDpi(nullptr), 0);
    EXPECT_EQ(MkLabelDoc_GetPrinterSpeed(nullptr), 0);
    EXPECT_EQ(MkLabelDoc_GetPrinterDarkness(nullptr), 0);
    EXPECT_EQ(MkLabelDoc_GetPrinterPageDirection(nullptr), 0);
    EXPECT_FALSE(MkLabelDoc_GetPrinterHaveGap(nullptr));
    EXPECT_EQ(MkLabelDoc_GetObjectCount(nullptr), 0);
    EXPECT_EQ(MkLabel_GetWidth(nullptr), 0.0f);
    EXPECT_EQ(MkLabel_GetRowCount(nullptr), 0);
    EXPECT_EQ(MkLabel_GetLabelShape(nullptr), 0);
    MkLabel_SetWidth(nullptr, 1.0f);
    MkLabel_SetRowCount(nullptr, 1);
    MkLabelDoc_SetPrintCount(nullptr, 1);
    MkLabelDoc_SetCopyCount(nullptr, 1);
    MkLabelDoc_SetReverse(nullptr, 1);
}

TEST(Document, DestroyAndFreeAcceptNull) {
    MkLabel_Destroy(nullptr);
    MkLabelDoc_Destroy(nullptr);
    MkFree(nullptr);
    // Either destroy call releases a document made by either create call.
    MkLabelDoc_Destroy(MkLabel_Create());
    MkFree(std::malloc(16));
}

TEST(LastError, FreshThreadReadsZeroAndEmpty) {
    std::thread([] {
        EXPECT_EQ(MkGetLastErrorCode(), 0);
        EXPECT_STREQ(MkGetLastErrorMessage(), "");
        EXPECT_STREQ(MkLabelDoc_GetLastError(), "");
    }).join();
}

TEST(LastError, IsKeptPerThreadAndNeverReset) {
    std::thread([] {
        mk::setLastError(-101, "Cannot read file: a");
        std::thread([] {
            mk::setLastError(-521, "USB printer not found");
            EXPECT_EQ(MkGetLastErrorCode(), -521);
        }).join();
        EXPECT_EQ(MkGetLastErrorCode(), -101);
        EXPECT_STREQ(MkGetLastErrorMessage(), "Cannot read file: a");
        EXPECT_STREQ(MkLabelDoc_GetLastError(), "Cannot read file: a");

        // A successful call does not clear it.
        LabelPtr doc(MkLabel_Create());
        MkLabel_SetWidth(doc.get(), 10.0f);
        EXPECT_EQ(MkGetLastErrorCode(), -101);
    }).join();
}

TEST(CopyOut, CutsAtSizeMinusOneAndAlwaysTerminates) {
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(mk::copyOut("barcode1", buffer, 4), 3);
    EXPECT_STREQ(buffer, "bar");
    EXPECT_EQ(buffer[4], 'x');  // nothing written past the NUL

    EXPECT_EQ(mk::copyOut("abc", buffer, 1), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(mk::copyOut("abc", buffer, 8), 3);
    EXPECT_STREQ(buffer, "abc");

    EXPECT_FALSE(mk::isValidOutBuffer(buffer, 0));
    EXPECT_FALSE(mk::isValidOutBuffer(buffer, -4));
    EXPECT_FALSE(mk::isValidOutBuffer(nullptr, 8));
    EXPECT_TRUE(mk::isValidOutBuffer(buffer, 1));
}

}  // namespace
