// RegDelKey in-process against Wine's registry: what goes, what stays, and the status; and the
// deletion walk under it, which Kestrix's exports share, with the views each deliverable gives
// it. Scratch keys live below HKLM\SOFTWARE in this 32-bit process's own view, the view Torvane
// uses too.
#include <gtest/gtest.h>

#include <string>

#include "common/RegTree.h"
#include "regmaint/RegMaint.h"
#include "support/TestSupport.h"

namespace {

class RegDelKeyTest : public ::testing::Test {
protected:
    bool Exists(const std::string& relative) {
        return test::KeyExists(HKEY_LOCAL_MACHINE, m_scratch.Path() + relative);
    }
    LONG Delete(const std::string& relative) {
        return RegDelKey(HKEY_LOCAL_MACHINE, (m_scratch.Path() + relative).c_str());
    }
    test::CScratchKey m_scratch{HKEY_LOCAL_MACHINE, "SOFTWARE", "TorvaneRegDel"};
};

TEST_F(RegDelKeyTest, NullOrEmptyPathIsBadKey) {
    EXPECT_EQ(ERROR_BADKEY, RegDelKey(HKEY_LOCAL_MACHINE, nullptr));
    EXPECT_EQ(ERROR_BADKEY, RegDelKey(HKEY_LOCAL_MACHINE, ""));
    EXPECT_TRUE(Exists(""));
}

TEST_F(RegDelKeyTest, MissingKeyIsFileNotFoundAndChangesNothing) {
    test::BuildTree(HKEY_LOCAL_MACHINE, m_scratch.Path() + "\\Sibling", 0, 0, 2);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Delete("\\Missing"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Delete("\\Missing\\Deeper"));
    EXPECT_TRUE(Exists("\\Sibling"));
    EXPECT_EQ(2, test::CountValues(HKEY_LOCAL_MACHINE, m_scratch.Path() + "\\Sibling"));
}

TEST_F(RegDelKeyTest, KeysGoWholeAndTheirParentsAndSiblingsStay) {
    test::BuildTree(HKEY_LOCAL_MACHINE, m_scratch.Path() + "\\Vendor\\Product", 0, 0, 6);
    ASSERT_EQ(6, test::CountValues(HKEY_LOCAL_MACHINE, m_scratch.Path() + "\\Vendor\\Product"));
    EXPECT_EQ(ERROR_SUCCESS, Delete("\\Vendor\\Product"));
    EXPECT_FALSE(Exists("\\Vendor\\Product"));
    EXPECT_TRUE(Exists("\\Vendor")) << "the parent stays, though it is now empty";
    EXPECT_TRUE(Exists(""));

    // Four levels below the key, three children per key, values at every level.
    test::BuildTree(HKEY_LOCAL_MACHINE, m_scratch.Path() + "\\Vendor\\Product", 4, 3, 4);
    test::BuildTree(HKEY_LOCAL_MACHINE, m_scratch.Path() + "\\Vendor\\ProductOther", 1, 2, 1);
    ASSERT_TRUE(Exists("\\Vendor\\Product\\K2\\K2\\K2\\K2"));
    EXPECT_EQ(ERROR_SUCCESS, Delete("\\Vendor\\Product"));
    EXPECT_FALSE(Exists("\\Vendor\\Product"));
    EXPECT_TRUE(Exists("\\Vendor\\ProductOther\\K1")) << "a key whose name starts the same";
    EXPECT_TRUE(Exists("\\Vendor"));
}

TEST_F(RegDelKeyTest, KeyThatRefusesFullAccessStopsTheDeletionThere) {
    // Product: A (A1, A2), B (B1 locked, B2), C. Children are taken first to last, each one
    // deleted completely before the next is looked at.
    const std::string product = m_scratch.Path() + "\\Product";
    for (const char* key : {"\\A\\A1", "\\A\\A2", "\\B\\B1\\Below", "\\B\\B2", "\\C"})
        test::BuildTree(HKEY_LOCAL_MACHINE, product + key, 0, 0, 2);
    test::CLockedKey locked(HKEY_LOCAL_MACHINE, product + "\\B\\B1");
    ASSERT_TRUE(locked.Locked());

    EXPECT_EQ(ERROR_ACCESS_DENIED, Delete("\\Product"));
    EXPECT_FALSE(Exists("\\Product\\A")) << "deleted before the failure: stays deleted";
    EXPECT_TRUE(Exists("\\Product\\B\\B1\\Below")) << "the failing key is left whole";
    EXPECT_TRUE(Exists("\\Product\\B\\B2")) << "not visited after the failure";
    EXPECT_TRUE(Exists("\\Product\\C"));
    EXPECT_EQ(2, test::CountValues(HKEY_LOCAL_MACHINE, product + "\\C"));

    // The key itself refusing full access: nothing at all goes.
    test::CLockedKey lockedTop(HKEY_LOCAL_MACHINE, product + "\\C");
    ASSERT_TRUE(lockedTop.Locked());
    EXPECT_EQ(ERROR_ACCESS_DENIED, Delete("\\Product\\C"));
    EXPECT_EQ(2, test::CountValues(HKEY_LOCAL_MACHINE, product + "\\C"));
}

TEST_F(RegDelKeyTest, SharedWalkDeletesNamesBeyondTheCodePageInTheViewItIsGiven) {
    // Torvane names no view; Kestrix's "X64" names the 64-bit view for the key itself and, in its
    // 32-bit build, none below it. The same tree is planted in both views, with names the code
    // page cannot represent at three levels.
    const std::wstring name = L"\u041A\u043B\u044E\u0447 \u9375";
    const std::string product = m_scratch.Path() + "\\Product";
    const std::wstring deepest =
        test::Wide(product) + L"\\" + name + L"\\K0\\" + name + L"2\\" + name;
    test::CCleanup in64(HKEY_LOCAL_MACHINE, m_scratch.Path(), KEY_WOW64_64KEY);
    for (const REGSAM samTop : {REGSAM(0), REGSAM(KEY_WOW64_64KEY)}) {
        const REGSAM samOther = samTop ^ KEY_WOW64_64KEY;
        for (const REGSAM samView : {samTop, samOther})
            ASSERT_TRUE(test::CreateKeyW(HKEY_LOCAL_MACHINE, deepest, samView));
        EXPECT_EQ(ERROR_SUCCESS, DeleteKeyTree(HKEY_LOCAL_MACHINE, product.c_str(), samTop, 0));
        EXPECT_FALSE(test::KeyExistsW(HKEY_LOCAL_MACHINE, test::Wide(product), samTop));
        // 32-bit Windows has one view, in which the other tree was the same one.
        EXPECT_EQ(test::IsWow64(), test::KeyExistsW(HKEY_LOCAL_MACHINE, deepest, samOther))
            << "view " << samTop << ": the other view's tree of the same name stays";
        test::RemoveTree(HKEY_LOCAL_MACHINE, test::Wide(product), samOther);
    }
}

TEST_F(RegDelKeyTest, RegistryLinksGoAsKeysOfTheirOwnAndTheirTargetsStay) {
    // Below the product key, and as the key named itself: links to Target, beside the product.
    test::BuildTree(HKEY_LOCAL_MACHINE, m_scratch.Sub("Target"), 1, 2, 2);
    test::CRegLink below(HKEY_LOCAL_MACHINE, m_scratch.Sub("Product\\Link"),
                         m_scratch.Sub("Target"));
    test::CRegLink named(HKEY_LOCAL_MACHINE, m_scratch.Sub("Named"), m_scratch.Sub("Target"));
    ASSERT_TRUE(below.Resolves() && named.Resolves());
    const std::string target =
        test::DumpTree(HKEY_LOCAL_MACHINE, test::Wide(m_scratch.Sub("Target")));
    EXPECT_EQ(ERROR_SUCCESS, Delete("\\Product"));
    EXPECT_EQ(ERROR_SUCCESS, Delete("\\Named"));
    EXPECT_FALSE(Exists("\\Product"));
    EXPECT_FALSE(named.Present());
    EXPECT_EQ(target, test::DumpTree(HKEY_LOCAL_MACHINE, test::Wide(m_scratch.Sub("Target"))));
}

} // namespace
