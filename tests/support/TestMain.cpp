// The test programs' entry point: gtest_main with one change for Wine's 32-bit side under
// emulation. GoogleTest's printer reports each failing check also through OutputDebugStringA,
// which raises an exception and unwinds it; under emulation that can crash the process, which
// may then exit with status 0 and hide the failure. The printer here reports failures on
// standard output only and leaves every other event to GoogleTest's own printer.
#include <gtest/gtest.h>

#include <stdio.h>

namespace {

class CFailurePrinter : public testing::TestEventListener {
public:
    explicit CFailurePrinter(testing::TestEventListener* pDefault) : m_pDefault(pDefault) {}
    ~CFailurePrinter() override { delete m_pDefault; }

    void OnTestPartResult(const testing::TestPartResult& result) override {
        if (result.type() == testing::TestPartResult::kSuccess)
            return;
        const char* kind = result.type() == testing::TestPartResult::kSkip ? "Skipped" : "Failure";
        if (result.file_name() != nullptr)
            printf("%s:%d: %s\n%s\n", result.file_name(), result.line_number(), kind,
                   result.message());
        else
            printf("%s\n%s\n", kind, result.message());
        fflush(stdout);
    }

    void OnTestProgramStart(const testing::UnitTest& test) override {
        m_pDefault->OnTestProgramStart(test);
    }
    void OnTestIterationStart(const testing::UnitTest& test, int iteration) override {
        m_pDefault->OnTestIterationStart(test, iteration);
    }
    void OnEnvironmentsSetUpStart(const testing::UnitTest& test) override {
        m_pDefault->OnEnvironmentsSetUpStart(test);
    }
    void OnEnvironmentsSetUpEnd(const testing::UnitTest& test) override {
        m_pDefault->OnEnvironmentsSetUpEnd(test);
    }
    void OnTestSuiteStart(const testing::TestSuite& suite) override {
        m_pDefault->OnTestSuiteStart(suite);
    }
#ifndef GTEST_REMOVE_LEGACY_TEST_CASEAPI_
    void OnTestCaseStart(const testing::TestCase& testCase) override {
        m_pDefault->OnTestCaseStart(testCase);
    }
    void OnTestCaseEnd(const testing::TestCase& testCase) override {
        m_pDefault->OnTestCaseEnd(testCase);
    }
#endif
    void OnTestStart(const testing::TestInfo& info) override {
        m_pDefault->OnTestStart(info);
    }
    void OnTestEnd(const testing::TestInfo& info) override {
        m_pDefault->OnTestEnd(info);
    }
    void OnTestSuiteEnd(const testing::TestSuite& suite) override {
        m_pDefault->OnTestSuiteEnd(suite);
    }
    void OnEnvironmentsTearDownStart(const testing::UnitTest& test) override {
        m_pDefault->OnEnvironmentsTearDownStart(test);
    }
    void OnEnvironmentsTearDownEnd(const testing::UnitTest& test) override {
        m_pDefault->OnEnvironmentsTearDownEnd(test);
    }
    void OnTestIterationEnd(const testing::UnitTest& test, int iteration) override {
        m_pDefault->OnTestIterationEnd(test, iteration);
    }
    void OnTestProgramEnd(const testing::UnitTest& test) override {
        m_pDefault->OnTestProgramEnd(test);
    }

private:
    testing::TestEventListener* m_pDefault;
};

} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    testing::TestEventListeners& listeners = testing::UnitTest::GetInstance()->listeners();
    testing::TestEventListener* pDefault = listeners.default_result_printer();
    if (pDefault != nullptr) {
        listeners.Release(pDefault);
        listeners.Append(new CFailurePrinter(pDefault));
    }
    return RUN_ALL_TESTS();
}
