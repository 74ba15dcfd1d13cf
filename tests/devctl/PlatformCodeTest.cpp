// The platform code: the decision's rules over all combinations of versions (also those Wine
// cannot report), service-pack texts and bitness; the probe of this process in each prefix.
#include <gtest/gtest.h>
#include <windows.h>

#include <set>

#include "devctl/DevCtr.h"
#include "devctl/Platform.h"
#include "devctl/PlatformCode.h"

namespace {

struct Input {
    unsigned long major, minor;
    const char* csd;
    int wow64;
};

const char* const NO_TEXT = nullptr; // counts as empty

int Code(const Input& in) {
    return DecidePlatformCode(in.major, in.minor, in.csd, in.wow64);
}

// The service-pack text's second character, the one that tells old releases apart.
char Letter(const char* csd) {
    return (csd == nullptr || csd[0] == '\0') ? '\0' : csd[1];
}

bool Is(const Input& in, unsigned long major, unsigned long minor) {
    return in.major == major && in.minor == minor;
}

const struct {
    const char* rule;
    bool (*holds)(const Input& in, int code);
} RULES[] = {
    {"from 6.0 up the code is the bitness alone; below, the bitness changes nothing",
     [](const Input& in, int code) {
         if (in.major >= 6)
             return code == (in.wow64 ? PLATFORM_NT6_64 : PLATFORM_NT6_32) &&
                    IsPlatform64(code) == (in.wow64 != 0);
         return code == Code({in.major, in.minor, in.csd, !in.wow64});
     }},
    {"of the service-pack text only the second character counts, and only for 4.0 and 4.10",
     [](const Input& in, int code) {
         const char letter[] = {' ', Letter(in.csd), '\0'};
         const bool counts = Is(in, 4, 0) || Is(in, 4, 10);
         return code == Code({in.major, in.minor, counts ? letter : "", in.wow64});
     }},
    {"4.0 is 95 OSR2 with an upper-case B or C (else unknown), 4.10 98 SE with an A (else 98)",
     [](const Input& in, int code) {
         const char ch = Letter(in.csd);
         if (Is(in, 4, 0))
             return code == (ch == 'B' || ch == 'C' ? PLATFORM_WIN95_OSR2 : PLATFORM_UNKNOWN);
         return !Is(in, 4, 10) || code == (ch == 'A' ? PLATFORM_WIN98_SE : PLATFORM_WIN98);
     }},
    {"4.90 is Me; 5.0, 5.1 and 5.2 are 2000, XP and 2003 in turn, whatever the bitness",
     [](const Input& in, int code) {
         if (Is(in, 4, 90))
             return code == PLATFORM_WINME;
         return in.major != 5 || in.minor > 2 ||
                code == PLATFORM_WIN2000 + static_cast<int>(in.minor);
     }},
    {"below 4, and other minor versions of 4 and 5, are unknown",
     [](const Input& in, int code) {
         const bool listed =
             (in.major == 4 && (in.minor == 0 || in.minor == 10 || in.minor == 90)) ||
             (in.major == 5 && in.minor <= 2) || in.major >= 6;
         return listed || code == PLATFORM_UNKNOWN;
     }},
};

TEST(PlatformDecision, EveryRuleHoldsForEveryInputAndEveryCodeIsReached) {
    std::set<int> reached;
    for (unsigned long major : {0ul, 3ul, 4ul, 5ul, 6ul, 10ul, 11ul}) {
        for (unsigned long minor : {0ul, 1ul, 2ul, 3ul, 10ul, 51ul, 90ul, 91ul}) {
            for (const char* csd : {"", " ", "B", " A", " a", " B", " b", " C", " c", " C ", " A ",
                                    "Service Pack 6a", "Service Pack 2", NO_TEXT}) {
                for (int wow64 : {0, 1}) {
                    const Input in = {major, minor, csd, wow64};
                    const int code = Code(in);
                    reached.insert(code);
                    for (const auto& rule : RULES) {
                        EXPECT_TRUE(rule.holds(in, code))
                            << rule.rule << ": " << major << "." << minor << " \""
                            << (csd ? csd : "(null)") << "\" wow64 " << wow64 << " gave " << code;
                    }
                }
            }
        }
    }
    EXPECT_EQ(std::set<int>({0, 1, 2, 3, 4, 5, 6, 7, 12, 13}), reached) << "never 8 to 11";
}

// In each prefix (Wine reports version 6.1 by default): under WOW64 in the 64-bit one, as the
// system's own account of its processor says, not in the 32-bit one.
TEST(PlatformProbe, ThisProcessGetsTheCodeOfItsPrefixBitness) {
    SYSTEM_INFO native;
    GetNativeSystemInfo(&native);
    const bool b64 = native.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
    EXPECT_EQ(b64 ? 1 : 0, IsWow64());
    CDevCtr controller;
    EXPECT_EQ(b64 ? PLATFORM_NT6_64 : PLATFORM_NT6_32, controller.GetPlatformCode());
}

} // namespace
