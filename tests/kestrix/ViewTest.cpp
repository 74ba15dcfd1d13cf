// The "X64" view flag on 64-bit Windows, where HKLM\SOFTWARE in the 32-bit view and in the
// 64-bit view are different keys. Each test keeps a tree of the same name in both views, with
// different content, and looks at which one an export touched. Both builds of the library give
// the same results: the views are named explicitly here, so the tests read alike from a 32-bit
// and from a 64-bit program.
#include <gtest/gtest.h>

#include <string>

#include "kestrix/KestrixTestSupport.h"
#include "support/TestSupport.h"

namespace {

// The 32-bit view, where the exports work without the flag.
const REGSAM kView32 = ktest::kDefaultView;

class KestrixView : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_kestrix.Complete());
#ifndef _WIN64
        ASSERT_TRUE(test::IsWow64()) << "needs 64-bit Windows";
#endif
        for (REGSAM view : {REGSAM(KEY_WOW64_64KEY), kView32}) {
            const std::wstring path = test::Wide(m_path);
            const bool is64 = view == KEY_WOW64_64KEY;
            const std::string where = is64 ? "64-bit view" : "32-bit view";
            ASSERT_TRUE(test::SetStringValue(HKEY_LOCAL_MACHINE, m_path, "where", where, view));
            ASSERT_TRUE(
                test::SetStringValue(HKEY_LOCAL_MACHINE, m_path + "\\a\\b", "where", where, view));
            ASSERT_TRUE(test::CreateKeyW(HKEY_LOCAL_MACHINE,
                                         path + (is64 ? L"\\only64\\deep" : L"\\only32"), view));
        }
        ASSERT_NE(Dump(m_path, KEY_WOW64_64KEY), Dump(m_path, kView32));
    }

    std::string Read(char* flag) {
        char out[KESTRIX_VALUE_BUFFER_SIZE] = {};
        int result =
            m_kestrix.pfnRegGetKeyValueEx("HKEY_LOCAL_MACHINE", m_path.c_str(), "where", out, flag);
        return result == 1 ? std::string(out) : "result " + std::to_string(result);
    }
    static std::string Dump(const std::string& path, REGSAM view) {
        return test::DumpTree(HKEY_LOCAL_MACHINE, test::Wide(path), view);
    }

    ktest::CKestrix m_kestrix;
    const std::string m_name = test::UniqueName("KestrixView");
    const std::string m_path = "SOFTWARE\\" + m_name;
    test::CTestKey m_key64{HKEY_LOCAL_MACHINE, m_path, KEY_WOW64_64KEY};
    test::CTestKey m_key32{HKEY_LOCAL_MACHINE, m_path, kView32};
};

TEST_F(KestrixView, X64InAnyLetterCaseReadsThe64BitViewAndComesBackUpperCased) {
    char upper[] = "X64";
    char lower[] = "x64";
    EXPECT_EQ("64-bit view", Read(upper));
    EXPECT_STREQ("X64", upper);
    EXPECT_EQ("64-bit view", Read(lower));
    EXPECT_STREQ("X64", lower);
}

TEST_F(KestrixView, AnyOtherFlagReadsTheDefaultView) {
    EXPECT_EQ("32-bit view", Read(nullptr));
    const char* const others[] = {"", "x86", "X64 ", " X64", "X6", "X644", "64", "x64\t"};
    for (const char* other : others) {
        std::string flag = other;
        EXPECT_EQ("32-bit view", Read(&flag[0])) << "flag \"" << other << "\"";
    }
}

TEST_F(KestrixView, FlagIsUpperCasedInPlaceForTheLettersAToZOnly) {
    char flag[] = "a\xE9z-x86";
    EXPECT_EQ("32-bit view", Read(flag));
    EXPECT_STREQ("A\xE9Z-x86", flag) << "nothing past the fourth character is changed";

    // Four characters without a terminator where the readable memory ends: none past them is read.
    char* pages = static_cast<char*>(VirtualAlloc(nullptr, 8192, MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(nullptr, pages);
    DWORD protect = 0;
    ASSERT_TRUE(VirtualProtect(pages + 4096, 4096, PAGE_NOACCESS, &protect));
    memcpy(pages + 4092, "x64x", 4);
    EXPECT_EQ("32-bit view", Read(pages + 4092));
    EXPECT_EQ("X64X", std::string(pages + 4092, 4));
    VirtualFree(pages, 0, MEM_RELEASE);
}

TEST_F(KestrixView, ConstantFlagsInReadOnlyMemoryAreUsedWithoutBeingWritten) {
    static const char kUpper[] = "X64";
    static const char kLower[] = "x64";
    for (const char* constant : {kUpper, kLower}) {
        MEMORY_BASIC_INFORMATION info = {};
        ASSERT_EQ(sizeof(info), VirtualQuery(constant, &info, sizeof(info)));
        ASSERT_TRUE(info.Protect == PAGE_READONLY || info.Protect == PAGE_EXECUTE_READ)
            << "the constant is not in read-only memory: protection " << info.Protect;
        EXPECT_EQ("64-bit view", Read(const_cast<char*>(constant)));
    }
    EXPECT_STREQ("x64", kLower);
}

TEST_F(KestrixView, CopyWithX64ReadsAndWritesThe64BitViewAtEveryLevel) {
    const std::string copy = m_path + "_copy";
    test::CCleanup copy64(HKEY_LOCAL_MACHINE, copy, KEY_WOW64_64KEY);
    test::CCleanup copy32(HKEY_LOCAL_MACHINE, copy, kView32);

    char flag[] = "x64";
    ASSERT_EQ(1, m_kestrix.pfnRegCopyEx(HKEY_LOCAL_MACHINE, m_path.c_str(), HKEY_LOCAL_MACHINE,
                                        copy.c_str(), flag));
    EXPECT_STREQ("X64", flag);
    EXPECT_EQ(Dump(m_path, KEY_WOW64_64KEY), Dump(copy, KEY_WOW64_64KEY));
    EXPECT_EQ("<missing>", Dump(copy, kView32));

    // Without the flag both ends are in the 32-bit view.
    test::RemoveTree(HKEY_LOCAL_MACHINE, test::Wide(copy), KEY_WOW64_64KEY);
    ASSERT_EQ(1, m_kestrix.pfnRegCopyEx(HKEY_LOCAL_MACHINE, m_path.c_str(), HKEY_LOCAL_MACHINE,
                                        copy.c_str(), nullptr));
    EXPECT_EQ(Dump(m_path, kView32), Dump(copy, kView32));
    EXPECT_EQ("<missing>", Dump(copy, KEY_WOW64_64KEY));
}

TEST_F(KestrixView, DeleteWithX64RemovesThe64BitTreeAndLeavesItsTwin) {
    const std::string twin = Dump(m_path, kView32);
    char flag[] = "X64";
    EXPECT_EQ(ERROR_SUCCESS, m_kestrix.pfnRegDelKeyEX(HKEY_LOCAL_MACHINE, m_path.c_str(), flag));
    EXPECT_EQ("<missing>", Dump(m_path, KEY_WOW64_64KEY));
    EXPECT_EQ(twin, Dump(m_path, kView32));

    // Now the 64-bit key is missing; the default view is still reached without the flag.
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              m_kestrix.pfnRegDelKeyEX(HKEY_LOCAL_MACHINE, m_path.c_str(), flag));
    EXPECT_EQ(ERROR_SUCCESS, m_kestrix.pfnRegDelKeyEX(HKEY_LOCAL_MACHINE, m_path.c_str(), nullptr));
    EXPECT_EQ("<missing>", Dump(m_path, kView32));
}

TEST_F(KestrixView, DeleteWithoutFlagLeavesThe64BitTree) {
    const std::string tree64 = Dump(m_path, KEY_WOW64_64KEY);
    char flag[] = "x86";
    EXPECT_EQ(ERROR_SUCCESS, m_kestrix.pfnRegDelKeyEX(HKEY_LOCAL_MACHINE, m_path.c_str(), flag));
    EXPECT_EQ("<missing>", Dump(m_path, kView32));
    EXPECT_EQ(tree64, Dump(m_path, KEY_WOW64_64KEY));
}

} // namespace
