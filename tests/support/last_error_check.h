#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "mklabel.h"

namespace mk::test {

// The calling thread's last error as the host reads it. For use inside
// EXPECT_TRUE, so that a mismatch is reported at the caller's line:
//   EXPECT_TRUE(lastErrorIs(-510, "readUsb: timeout"));
inline ::testing::AssertionResult lastErrorIs(int code, std::string_view message) {
    const int actualCode = MkGetLastErrorCode();
    const char* text = MkGetLastErrorMessage();
    const std::string actualMessage = text != nullptr ? text : "(null)";
    if (actualCode == code && actualMessage == message) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "last error is " << actualCode << " \"" << actualMessage
                                         << "\", expected " << code << " \"" << message << "\"";
}

}  // namespace mk::test
