// DELETE_LOCAL_MACHINE_PRODUCTKEY through Torvane.exe in the 64-bit prefix. Torvane is a
// 32-bit program: its HKLM\SOFTWARE\X is HKLM\SOFTWARE\Wow6432Node\X in the 64-bit view, and
// the 64-bit view's own HKLM\SOFTWARE\X is out of its reach.
#include <gtest/gtest.h>

#include <string>

#include "support/TestSupport.h"

namespace {

const REGSAM VIEW32 = KEY_WOW64_32KEY;
const REGSAM VIEW64 = KEY_WOW64_64KEY;

class MachineKeyCommand : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(test::IsWow64()) << "needs the 64-bit prefix"; }

    void Run(const std::string& args) {
        test::RunResult result = test::RunTorvane(m_folder, args);
        ASSERT_TRUE(result.finished) << args;
        EXPECT_EQ(0u, result.exitCode) << args << ": the result never reaches the exit status";
    }
    bool Exists32(const std::string& relative) {
        return test::KeyExists(HKEY_LOCAL_MACHINE, m_name32.Path() + relative, VIEW32);
    }

    test::CProgramFolder m_folder{"regdel"};
    // One name, two keys: SOFTWARE\<name> in the 32-bit view and, made by a test that needs
    // it, in the 64-bit view.
    test::CScratchKey m_name32{HKEY_LOCAL_MACHINE, "SOFTWARE", "TorvaneE2E", VIEW32};
    struct CDeleteIn64 {
        std::string path;
        ~CDeleteIn64() { test::DeleteKeyTree(HKEY_LOCAL_MACHINE, path, VIEW64); }
    } m_name64{m_name32.Path()};
};

TEST_F(MachineKeyCommand, DeletesTheTreeInTheRedirectedViewOnly) {
    const std::string product32 = m_name32.Path() + "\\Product";
    const std::string product64 = m_name32.Path() + "\\Product"; // same path, other view
    test::BuildTree(HKEY_LOCAL_MACHINE, product32, 3, 3, 3, VIEW32);
    test::BuildTree(HKEY_LOCAL_MACHINE, product64, 1, 2, 3, VIEW64);
    // Names the code page cannot represent, at three levels, made in UTF-16.
    const std::wstring name = L"\u041A\u043B\u044E\u0447 \u9375";
    for (const std::wstring& below : {name + L"\\K1\\" + name + L"\\" + name, L"K2\\" + name})
        ASSERT_TRUE(
            test::CreateKeyW(HKEY_LOCAL_MACHINE, test::Wide(product32) + L"\\" + below, VIEW32));
    // The 32-bit key, seen from the 64-bit view, below Wow6432Node.
    const std::string redirected =
        "SOFTWARE\\Wow6432Node" + product32.substr(std::string("SOFTWARE").size());
    ASSERT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, redirected + "\\K2\\K2\\K2", VIEW64));

    Run("delete_local_machine_productkey " + product32);

    EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, product32, VIEW32));
    EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, redirected, VIEW64));
    EXPECT_TRUE(Exists32("")) << "the parent stays";
    EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, product64 + "\\K1", VIEW64))
        << "the 64-bit view's key of the same name is not Torvane's";
    EXPECT_EQ(3, test::CountValues(HKEY_LOCAL_MACHINE, product64, VIEW64));
}

TEST_F(MachineKeyCommand, MissingKeyChangesNothingAndExitsZero) {
    test::BuildTree(HKEY_LOCAL_MACHINE, m_name32.Path() + "\\Product", 1, 2, 2, VIEW32);
    Run("DELETE_LOCAL_MACHINE_PRODUCTKEY " + m_name32.Path() + "\\Missing");
    Run("DELETE_LOCAL_MACHINE_PRODUCTKEY " + m_name32.Path() + "\\Product\\K0\\Missing");
    EXPECT_TRUE(Exists32("\\Product\\K0"));
    EXPECT_TRUE(Exists32("\\Product\\K1"));
    EXPECT_EQ(2, test::CountValues(HKEY_LOCAL_MACHINE, m_name32.Path() + "\\Product", VIEW32));
}

TEST_F(MachineKeyCommand, FailurePartWayLeavesTheRestAndStillExitsZero) {
    const std::string product = m_name32.Path() + "\\Product";
    for (const char* key : {"\\A", "\\B\\Below", "\\C"})
        test::BuildTree(HKEY_LOCAL_MACHINE, product + key, 0, 0, 1, VIEW32);
    test::CLockedKey locked(HKEY_LOCAL_MACHINE, product + "\\B", VIEW32);
    ASSERT_TRUE(locked.Locked());
    Run("DELETE_LOCAL_MACHINE_PRODUCTKEY " + product);
    EXPECT_FALSE(Exists32("\\Product\\A"));
    EXPECT_TRUE(Exists32("\\Product\\B\\Below"));
    EXPECT_TRUE(Exists32("\\Product\\C"));
}

} // namespace
