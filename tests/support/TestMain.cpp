// The test programs' entry point: gtest_main with a printer of its own for Wine's 32-bit side
// under emulation. GoogleTest's printer reports each failing check also through
// OutputDebugStringA, which raises an exception and unwinds it; under emulation that can crash
// the process, which may then exit with status 0 and hide the failure. This printer writes to
// standard output only, in GoogleTest's own format for the lines CTest judges a test by (see
// cmake/GTestVerdict.cmake): each test's end, and the summary of passed and skipped tests.
//
// A crash anywhere in the program (in a test, in a thread, while it exits) ends it at once with
// a "[  CRASHED ]" line that fails the test: left to Wine, an unhandled exception starts a
// debugger that the crashed program waits for, which under the emulation may never end.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdio.h>

namespace {

const char* Plural(int count) {
    return count == 1 ? "test" : "tests";
}

class CStdoutPrinter : public testing::EmptyTestEventListener {
public:
    void OnTestStart(const testing::TestInfo& info) override {
        Print("[ RUN      ] %s.%s\n", info.test_suite_name(), info.name());
    }
    void OnTestPartResult(const testing::TestPartResult& result) override {
        if (result.type() == testing::TestPartResult::kSuccess)
            return;
        const char* kind = result.type() == testing::TestPartResult::kSkip ? "Skipped" : "Failure";
        Print("%s:%d: %s\n%s\n", result.file_name() ? result.file_name() : "unknown file",
              result.line_number(), kind, result.message());
    }
    void OnTestEnd(const testing::TestInfo& info) override {
        const testing::TestResult& result = *info.result();
        const char* verdict = result.Skipped()  ? "[  SKIPPED ]"
                              : result.Passed() ? "[       OK ]"
                                                : "[  FAILED  ]";
        Print("%s %s.%s (%lld ms)\n", verdict, info.test_suite_name(), info.name(),
              static_cast<long long>(result.elapsed_time()));
    }
    void OnTestProgramEnd(const testing::UnitTest& test) override {
        Print("[==========] %d %s ran.\n", test.test_to_run_count(),
              Plural(test.test_to_run_count()));
        Print("[  PASSED  ] %d %s.\n", test.successful_test_count(),
              Plural(test.successful_test_count()));
        if (test.skipped_test_count() > 0)
            Print("[  SKIPPED ] %d %s, listed below:\n", test.skipped_test_count(),
                  Plural(test.skipped_test_count()));
        if (test.failed_test_count() > 0)
            Print("[  FAILED  ] %d %s\n", test.failed_test_count(),
                  Plural(test.failed_test_count()));
    }

private:
    template <typename... Args> static void Print(const char* format, Args... args) {
        printf(format, args...);
        fflush(stdout);
    }
};

// Writes the crash line with WriteFile alone (the C library's stream lock may be held by the
// thread that crashed) and ends the process without running anything else of it.
LONG WINAPI EndOnCrash(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    char line[128];
    const int length =
        wsprintfA(line, "\n[  CRASHED ] exception 0x%08lx at %p in thread %lu\n",
                  record->ExceptionCode, record->ExceptionAddress, GetCurrentThreadId());
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, static_cast<DWORD>(length), &written, nullptr);
    TerminateProcess(GetCurrentProcess(), record->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

} // namespace

int main(int argc, char** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(EndOnCrash);
    testing::InitGoogleTest(&argc, argv);
    testing::TestEventListeners& listeners = testing::UnitTest::GetInstance()->listeners();
    delete listeners.Release(listeners.default_result_printer());
    listeners.Append(new CStdoutPrinter);
    return RUN_ALL_TESTS();
}
