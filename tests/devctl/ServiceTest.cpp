// Stopping and starting services: Wine's real "stisvc", and a service of the tests' own that
// stays stop-pending for a while or for good.
#include <gtest/gtest.h>

#include <string>

#include "devctl/Service.h"
#include "support/TestSupport.h"

namespace {

SERVICE_STATUS SentinelStatus() {
    SERVICE_STATUS status;
    memset(&status, 0xAB, sizeof(status));
    return status;
}

// Milliseconds a stop of the named service took: the product's stop, or with the limits given
// (and then the result expected).
DWORD TimedStop(const std::string& name, SERVICE_STATUS* status,
                const tagStopPollLimits* limits = nullptr, DWORD expected = ERROR_SUCCESS) {
    const DWORD start = GetTickCount();
    EXPECT_EQ(limits == nullptr ? 1 : expected,
              limits == nullptr ? StopNamedService(name.c_str(), status)
                                : StopNamedServiceWithin(name.c_str(), status, *limits));
    return GetTickCount() - start;
}

bool IsSentinel(const SERVICE_STATUS& status) {
    SERVICE_STATUS sentinel = SentinelStatus();
    return memcmp(&status, &sentinel, sizeof(status)) == 0;
}

class WiaServiceControl : public test::CWiaServiceTest {
protected:
    // The record a stop or start hands back (its result 1 checked), the service first brought
    // to state.
    SERVICE_STATUS Call(int (*pfn)(const char*, SERVICE_STATUS*), DWORD state) {
        EXPECT_TRUE(test::BringServiceTo(WIA, state));
        SERVICE_STATUS status = SentinelStatus();
        EXPECT_EQ(1, pfn(WIA, &status));
        return status;
    }
};

TEST_F(WiaServiceControl, StopOfRunningServiceReportsStateBeforeTheStop) {
    const SERVICE_STATUS status = Call(StopNamedService, SERVICE_RUNNING);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), status.dwCurrentState);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), test::QueryServiceState(WIA))
        << "the stop returns once the service no longer reads stop-pending";
}

TEST_F(WiaServiceControl, StopOfStoppedServiceSendsNothingAndCopiesTheStoppedStatus) {
    const SERVICE_STATUS status = Call(StopNamedService, SERVICE_STOPPED);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), status.dwCurrentState);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), test::QueryServiceState(WIA));
}

TEST_F(WiaServiceControl, StartOfStoppedServiceIssuesTheStart) {
    const SERVICE_STATUS status = Call(StartNamedService, SERVICE_STOPPED);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), status.dwCurrentState);
    EXPECT_TRUE(test::WaitForServiceState(WIA, SERVICE_RUNNING, 10000));
}

TEST_F(WiaServiceControl, StartOfRunningServiceLeavesItRunning) {
    const SERVICE_STATUS status = Call(StartNamedService, SERVICE_RUNNING);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), status.dwCurrentState);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), test::QueryServiceState(WIA));
}

TEST_F(WiaServiceControl, NullStatusRecordIsAccepted) {
    ASSERT_TRUE(test::BringServiceTo(WIA, SERVICE_RUNNING));
    EXPECT_EQ(1, StopNamedService(WIA, nullptr));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), test::QueryServiceState(WIA));
    EXPECT_EQ(1, StartNamedService(WIA, nullptr));
    EXPECT_TRUE(test::WaitForServiceState(WIA, SERVICE_RUNNING, 10000));
}

TEST(MissingService, BothFunctionsYieldOneAndLeaveTheRecordUntouched) {
    const std::string name = test::UniqueName("NoSuchService");
    SERVICE_STATUS status = SentinelStatus();
    EXPECT_EQ(1, StopNamedService(name.c_str(), &status));
    EXPECT_TRUE(IsSentinel(status));
    EXPECT_EQ(1, StartNamedService(name.c_str(), &status));
    EXPECT_TRUE(IsSentinel(status));
    EXPECT_EQ(1, StopNamedService(name.c_str(), nullptr));
    EXPECT_EQ(1, StartNamedService(name.c_str(), nullptr));
}

// A test service installed for one test, started, and removed again (its process ended).
class SlowStoppingService : public ::testing::Test {
protected:
    void Install(const std::string& options) {
        m_name = test::UniqueName("TorvaneTestSvc");
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(nullptr, manager);
        // On 64-bit Windows the 64-bit service: it runs natively here, not emulated.
        const char* const pszService = test::IsWow64() ? "x64\\TestService.exe" : "TestService.exe";
        std::string image = "\"" + test::BinFile(pszService) + "\" " + options;
        SC_HANDLE service =
            CreateServiceA(manager, m_name.c_str(), m_name.c_str(), SERVICE_ALL_ACCESS,
                           SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                           image.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, service) << GetLastError();
        EXPECT_TRUE(StartServiceA(service, 0, nullptr)) << GetLastError();
        CloseServiceHandle(service);
        CloseServiceHandle(manager);
        ASSERT_TRUE(test::WaitForServiceState(m_name, SERVICE_RUNNING, 20000));
    }

    void TearDown() override {
        if (m_name.empty())
            return;
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        SC_HANDLE service = OpenServiceA(manager, m_name.c_str(), SERVICE_ALL_ACCESS);
        if (service != nullptr) {
            SERVICE_STATUS_PROCESS process = {};
            DWORD needed = 0;
            if (QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO,
                                     reinterpret_cast<BYTE*>(&process), sizeof(process), &needed) &&
                process.dwProcessId != 0) {
                HANDLE child =
                    OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process.dwProcessId);
                if (child != nullptr) {
                    TerminateProcess(child, 0);
                    WaitForSingleObject(child, 5000);
                    CloseHandle(child);
                }
            }
            DeleteService(service);
            CloseServiceHandle(service);
        }
        CloseServiceHandle(manager);
    }

    std::string m_name;
};

TEST_F(SlowStoppingService, StopWaitsWhileTheServiceIsStopPending) {
    Install("hold=2500 waithint=1000 advance");
    SERVICE_STATUS status = SentinelStatus();
    const DWORD elapsed = TimedStop(m_name, &status);
    EXPECT_GE(elapsed, 2000u) << "did not wait while the service was stopping";
    EXPECT_LT(elapsed, 30000u) << "went on polling after the service had stopped";
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), status.dwCurrentState);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), test::QueryServiceState(m_name))
        << "returned while the service was still stopping";
}

TEST_F(SlowStoppingService, StalledCheckPointIsGivenUpOnAfterTheWaitHint) {
    Install("forever waithint=1000");
    const tagStopPollLimits limits = {500, 1000, 60000, 180000};
    const DWORD elapsed = TimedStop(m_name, nullptr, &limits, ERROR_SERVICE_REQUEST_TIMEOUT);
    EXPECT_GE(elapsed, 1000u) << "gave up before the wait hint had passed without progress";
    EXPECT_LT(elapsed, 30000u) << "waited on past the stalled check point's wait hint";
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOP_PENDING), test::QueryServiceState(m_name))
        << "a service that never stops is given up on, still pending";
}

TEST_F(SlowStoppingService, ServiceThatKeepsReportingProgressIsGivenUpOnAtTheTotalLimit) {
    Install("forever waithint=2000 advance"); // stall allowance 2 s, reports every 0.2 s
    const tagStopPollLimits limits = {500, 1000, 2000, 4000};
    const DWORD elapsed = TimedStop(m_name, nullptr, &limits, ERROR_SERVICE_REQUEST_TIMEOUT);
    EXPECT_GE(elapsed, 4000u) << "gave up on a service that reports progress before the limit";
    EXPECT_LT(elapsed, 30000u) << "waited on past the total limit";
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOP_PENDING), test::QueryServiceState(m_name));
}

TEST_F(SlowStoppingService, StartOfStoppingServiceIsNotWaitedFor) {
    Install("hold=1500 waithint=1000 advance");
    SERVICE_STATUS status = SentinelStatus();
    EXPECT_EQ(1, StopNamedService(m_name.c_str(), &status));
    ASSERT_EQ(static_cast<DWORD>(SERVICE_STOPPED), test::QueryServiceState(m_name));
    EXPECT_EQ(1, StartNamedService(m_name.c_str(), &status));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), status.dwCurrentState);
    EXPECT_TRUE(test::WaitForServiceState(m_name, SERVICE_RUNNING, 20000));
}

} // namespace
