// The exports called from several threads at once, each thread on its own keys.
//
// Under software CPU emulation (32-bit Wine run through qemu's user-mode TCG, as on machines
// whose kernel cannot run 32-bit programs) a process whose threads make system calls side by
// side ends in a crash, with or without this library: the emulator shares the per-thread
// segment that holds each thread's environment block. There the concurrent test is reported as
// skipped; the workload itself is still checked on one thread.
#include <gtest/gtest.h>

#include <cpuid.h>

#include <cstring>
#include <string>
#include <vector>

#include "kestrix/KestrixTestSupport.h"
#include "support/TestSupport.h"

namespace {

const int kThreads = 6;
const int kRounds = 15;

bool UnderSoftwareCpuEmulation() {
    unsigned int brand[12] = {};
    if (__get_cpuid_max(0x80000000, nullptr) < 0x80000004)
        return false;
    for (unsigned int i = 0; i < 3; ++i)
        __get_cpuid(0x80000002 + i, &brand[4 * i], &brand[4 * i + 1], &brand[4 * i + 2],
                    &brand[4 * i + 3]);
    char text[49] = {};
    std::memcpy(text, brand, 48);
    return std::strstr(text, "QEMU TCG") != nullptr;
}

struct tagWorker {
    const ktest::CKestrix* kestrix;
    std::string base; // this thread's own key below HKEY_CURRENT_USER
    int index;
    std::string failure; // the first thing that went wrong, empty when none
};

void Fail(tagWorker* worker, const std::string& what, int round) {
    if (worker->failure.empty())
        worker->failure = what + " (thread " + std::to_string(worker->index) + ", round " +
                          std::to_string(round) + ")";
}

// Copies a small tree, reads from the copy and deletes it, kRounds times.
DWORD WINAPI Work(void* parameter) {
    tagWorker* worker = static_cast<tagWorker*>(parameter);
    const ktest::CKestrix& k = *worker->kestrix;
    const std::string src = worker->base + "\\src";
    const std::string text = "thread " + std::to_string(worker->index);
    for (const char* sub : {"", "\\a\\b", "\\c"}) {
        if (!test::SetStringValue(HKEY_CURRENT_USER, src + sub, "text", text))
            Fail(worker, "cannot build the source", 0);
    }
    const std::string source = test::DumpTree(HKEY_CURRENT_USER, test::Wide(src));

    for (int round = 0; round < kRounds; ++round) {
        const std::string dst = worker->base + "\\copy" + std::to_string(round);
        char flag[] = "x64"; // each thread's own buffer, upper-cased by each call
        if (k.pfnRegCopyEx(HKEY_CURRENT_USER, src.c_str(), HKEY_CURRENT_USER, dst.c_str(), flag) !=
            1)
            Fail(worker, "copy failed", round);
        if (test::DumpTree(HKEY_CURRENT_USER, test::Wide(dst)) != source)
            Fail(worker, "copy differs from its source", round);

        char out[KESTRIX_VALUE_BUFFER_SIZE] = {};
        char readFlag[] = "x64";
        if (k.pfnRegGetKeyValueEx("HKEY_CURRENT_USER", (dst + "\\a\\b").c_str(), "text", out,
                                  readFlag) != 1 ||
            text != out || std::string("X64") != readFlag)
            Fail(worker, "read gave \"" + std::string(out) + "\"", round);

        if (k.pfnRegDelKeyEX(HKEY_CURRENT_USER, dst.c_str(), flag) != ERROR_SUCCESS ||
            test::KeyExistsW(HKEY_CURRENT_USER, test::Wide(dst)))
            Fail(worker, "delete failed", round);
    }
    return 0;
}

class KestrixThreads : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_kestrix.Complete()); }

    std::vector<tagWorker> Workers(int count) const {
        std::vector<tagWorker> workers;
        for (int i = 0; i < count; ++i)
            workers.push_back({&m_kestrix, m_base.Sub("t" + std::to_string(i)), i, ""});
        return workers;
    }
    // Each worker's copies are gone and its source is still there.
    void ExpectCleanTree(int count) const {
        const std::string tree = test::DumpTree(HKEY_CURRENT_USER, m_base.PathW());
        for (int i = 0; i < count; ++i)
            EXPECT_NE(std::string::npos, tree.find("key [t" + std::to_string(i) + "\\src\\a\\b]"))
                << tree;
        EXPECT_EQ(std::string::npos, tree.find("copy")) << tree;
    }

    ktest::CKestrix m_kestrix;
    test::CTestKey m_base{HKEY_CURRENT_USER, "Software\\" + test::UniqueName("KestrixThreads")};
};

TEST_F(KestrixThreads, WorkloadGivesTheExpectedResultsOnOneThread) {
    std::vector<tagWorker> workers = Workers(1);
    Work(&workers[0]);
    EXPECT_EQ("", workers[0].failure);
    ExpectCleanTree(1);
}

TEST_F(KestrixThreads, CallsOnSeparateKeysFromSeveralThreadsAtOnce) {
    if (UnderSoftwareCpuEmulation())
        GTEST_SKIP() << "threads of a 32-bit program cannot make system calls side by side "
                        "under qemu user-mode emulation";
    std::vector<tagWorker> workers = Workers(kThreads);
    std::vector<HANDLE> threads;
    for (tagWorker& worker : workers) {
        HANDLE thread = CreateThread(nullptr, 0, Work, &worker, CREATE_SUSPENDED, nullptr);
        ASSERT_NE(nullptr, thread);
        threads.push_back(thread);
    }
    // Released together, so that the calls overlap.
    for (HANDLE thread : threads)
        ResumeThread(thread);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(kThreads, threads.data(), TRUE, 240000));
    for (HANDLE thread : threads)
        CloseHandle(thread);
    for (const tagWorker& worker : workers)
        EXPECT_EQ("", worker.failure);
    ExpectCleanTree(kThreads);
}

} // namespace
