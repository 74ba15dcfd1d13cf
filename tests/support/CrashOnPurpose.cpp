// A test program that crashes on purpose, for the check that a crash fails its test at once
// (tests/wine/CrashSelfCheck.cmake). Built twice: crashing on a thread of its test, before
// GoogleTest's summary, and crashing after the summary has been printed.
#include <gtest/gtest.h>
#include <windows.h>

namespace {

DWORD WINAPI Fault(void*) {
    volatile int* volatile nowhere = nullptr;
    *nowhere = 1;
    return 0;
}

#ifdef CRASH_AFTER_SUMMARY
// Listeners hear the end of the program in the reverse order of their registration: one
// registered before main appends the test programs' printer hears it after the summary.
class CFaultAfterSummary : public testing::EmptyTestEventListener {
    void OnTestProgramEnd(const testing::UnitTest&) override { Fault(nullptr); }
};

const bool g_bRegistered =
    (testing::UnitTest::GetInstance()->listeners().Append(new CFaultAfterSummary), true);

TEST(CrashOnPurpose, AfterTheSummary) {
    EXPECT_TRUE(g_bRegistered);
}
#else
TEST(CrashOnPurpose, BeforeTheSummary) {
    HANDLE thread = CreateThread(nullptr, 0, Fault, nullptr, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    WaitForSingleObject(thread, INFINITE);
}
#endif

} // namespace
