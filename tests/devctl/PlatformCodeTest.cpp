// The platform code: the version decision for every release, also those Wine cannot report,
// and the probe of this very process.
#include <gtest/gtest.h>

#include "devctl/DevCtr.h"
#include "devctl/Platform.h"
#include "devctl/PlatformCode.h"

namespace {

int Code(unsigned long major, unsigned long minor, const char* csd, int wow64 = 0) {
    return DecidePlatformCode(major, minor, csd, wow64);
}

TEST(PlatformDecision, Version40IsOsr2OnlyWithUpperCaseBOrC) {
    EXPECT_EQ(PLATFORM_WIN95_OSR2, Code(4, 0, " B"));
    EXPECT_EQ(PLATFORM_WIN95_OSR2, Code(4, 0, " C"));
    EXPECT_EQ(PLATFORM_WIN95_OSR2, Code(4, 0, " C ", 1));
    EXPECT_EQ(PLATFORM_UNKNOWN, Code(4, 0, " b"));
    EXPECT_EQ(PLATFORM_UNKNOWN, Code(4, 0, " c"));
    EXPECT_EQ(PLATFORM_UNKNOWN, Code(4, 0, ""));
    EXPECT_EQ(PLATFORM_UNKNOWN, Code(4, 0, nullptr));
    EXPECT_EQ(PLATFORM_UNKNOWN, Code(4, 0, "B")) << "the letter is the second character";
    EXPECT_EQ(PLATFORM_UNKNOWN, Code(4, 0, " A"));
    EXPECT_EQ(PLATFORM_UNKNOWN, Code(4, 0, "Service Pack 6a")) << "NT 4.0";
}

TEST(PlatformDecision, Version410IsSecondEditionOnlyWithUpperCaseA) {
    EXPECT_EQ(PLATFORM_WIN98_SE, Code(4, 10, " A "));
    EXPECT_EQ(PLATFORM_WIN98_SE, Code(4, 10, " A"));
    EXPECT_EQ(PLATFORM_WIN98, Code(4, 10, " a"));
    EXPECT_EQ(PLATFORM_WIN98, Code(4, 10, ""));
    EXPECT_EQ(PLATFORM_WIN98, Code(4, 10, " "));
    EXPECT_EQ(PLATFORM_WIN98, Code(4, 10, " B"));
}

TEST(PlatformDecision, OtherVersionsOfTheFourAndFiveFamilies) {
    EXPECT_EQ(PLATFORM_WINME, Code(4, 90, " "));
    EXPECT_EQ(PLATFORM_UNKNOWN, Code(4, 3, " B"));
    EXPECT_EQ(PLATFORM_UNKNOWN, Code(4, 91, ""));
    EXPECT_EQ(PLATFORM_WIN2000, Code(5, 0, "Service Pack 4"));
    EXPECT_EQ(PLATFORM_WINXP, Code(5, 1, "Service Pack 3"));
    EXPECT_EQ(PLATFORM_WIN2003, Code(5, 2, "Service Pack 2", 0));
    EXPECT_EQ(PLATFORM_WIN2003, Code(5, 2, "Service Pack 2", 1)) << "whatever the bitness";
    EXPECT_EQ(PLATFORM_UNKNOWN, Code(5, 3, ""));
}

TEST(PlatformDecision, Version6AndLaterAreTwelveOrThirteenByWow64) {
    for (unsigned long major : {6ul, 10ul, 11ul}) {
        for (unsigned long minor : {0ul, 1ul, 2ul, 3ul}) {
            EXPECT_EQ(PLATFORM_NT6_32, Code(major, minor, "", 0)) << major << "." << minor;
            EXPECT_EQ(PLATFORM_NT6_64, Code(major, minor, "Service Pack 1", 1))
                << major << "." << minor;
        }
    }
}

TEST(PlatformDecision, MajorVersionsBelowFourAreUnknown) {
    EXPECT_EQ(PLATFORM_UNKNOWN, Code(3, 51, " B"));
    EXPECT_EQ(PLATFORM_UNKNOWN, Code(3, 10, " A", 1));
    EXPECT_EQ(PLATFORM_UNKNOWN, Code(0, 0, ""));
}

// This program runs in the 64-bit prefix (a 32-bit process under WOW64) with Wine's default
// version 6.1; the 32-bit prefix has its own probe test (Win32WindowsTest.cpp).
TEST(PlatformProbe, ThisProcessRunsUnderWow64OnA64BitModernWindows) {
    EXPECT_EQ(1, IsWow64());
    CDevCtr controller;
    EXPECT_EQ(PLATFORM_NT6_64, controller.GetPlatformCode());
}

} // namespace
