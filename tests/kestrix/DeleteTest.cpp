// RegDelKeyEX through the loaded library: single keys, trees bottom-up, missing keys, bad paths,
// names beyond the code page, and a subkey that cannot be deleted.
#include <gtest/gtest.h>

#include <string>

#include "kestrix/KestrixTestSupport.h"
#include "support/TestSupport.h"

namespace {

class KestrixDelete : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_kestrix.Complete()); }

    LONG Delete(const std::string& path, char* flag = nullptr, HKEY root = HKEY_CURRENT_USER) {
        return m_kestrix.pfnRegDelKeyEX(root, path.c_str(), flag);
    }
    void Set(const std::string& path, const std::string& name = "v") {
        ASSERT_TRUE(test::SetStringValue(HKEY_CURRENT_USER, path, name, "data"));
    }
    bool Exists(const std::string& path) const {
        return test::KeyExistsW(HKEY_CURRENT_USER, test::Wide(path));
    }

    ktest::CKestrix m_kestrix;
    test::CTestKey m_base{HKEY_CURRENT_USER, "Software\\" + test::UniqueName("KestrixDelete")};
    const std::string m_key = m_base.Sub("key");
};

TEST_F(KestrixDelete, KeysAreRemovedWholeAndTheirParentsAndSiblingsStay) {
    // A key with values and no subkeys.
    Set(m_key, "one");
    Set(m_key, "two");
    Set(m_base.Sub("sibling"));
    EXPECT_EQ(ERROR_SUCCESS, Delete(m_key));
    EXPECT_FALSE(Exists(m_key));
    EXPECT_TRUE(Exists(m_base.Sub("sibling")));

    // A tree, with names the code page cannot represent below the key.
    for (const char* sub : {"\\a\\a1\\a11", "\\a\\a2", "\\b\\b1", "\\c"})
        Set(m_key + sub);
    Set(m_key);
    const std::wstring name = L"\u041A\u043B\u044E\u0447 \u9375";
    ASSERT_TRUE(
        test::CreateKeyW(HKEY_CURRENT_USER, test::Wide(m_key) + L"\\" + name + L"\\" + name));
    EXPECT_EQ(ERROR_SUCCESS, Delete(m_key));
    EXPECT_FALSE(Exists(m_key));
    EXPECT_TRUE(Exists(m_base.Path()));

    // The root in each form a caller may pass it.
    for (HKEY root : ktest::RootForms(HKEY_CURRENT_USER)) {
        Set(m_key + "\\a");
        EXPECT_EQ(ERROR_SUCCESS, Delete(m_key, nullptr, root)) << root;
        EXPECT_FALSE(Exists(m_key)) << root;
    }
}

TEST_F(KestrixDelete, MissingKeyReturnsFileNotFoundAndChangesNothing) {
    Set(m_base.Sub("other\\child"));
    const std::string before = test::DumpTree(HKEY_CURRENT_USER, m_base.PathW());
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Delete(m_key));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Delete(m_base.Sub("other\\missing\\deeper")));
    EXPECT_EQ(before, test::DumpTree(HKEY_CURRENT_USER, m_base.PathW()));
}

TEST_F(KestrixDelete, NullOrEmptyPathIsRefusedBeforeAnythingIsOpened) {
    char flag[] = "x64";
    EXPECT_EQ(ERROR_BADKEY, m_kestrix.pfnRegDelKeyEX(HKEY_CURRENT_USER, nullptr, flag));
    EXPECT_STREQ("X64", flag);
    EXPECT_EQ(ERROR_BADKEY, m_kestrix.pfnRegDelKeyEX(HKEY_CURRENT_USER, "", nullptr));
    // An empty path below a real key would otherwise name the key itself.
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CURRENT_USER, m_base.Path().c_str(), 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_BADKEY, m_kestrix.pfnRegDelKeyEX(key, "", nullptr));
    RegCloseKey(key);
    EXPECT_TRUE(Exists(m_base.Path()));
}

TEST_F(KestrixDelete, SubkeyThatCannotBeOpenedStopsTheDeletionBottomUp) {
    // Taken in name order: a is deleted completely before b, which refuses; c is never reached.
    Set(m_key + "\\a\\a1");
    Set(m_key + "\\a\\a2");
    Set(m_key + "\\b\\b1");
    Set(m_key + "\\c");
    ASSERT_TRUE(
        test::SetKeyDacl(HKEY_CURRENT_USER, test::Wide(m_key + "\\b\\b1"), "D:P(A;;KR;;;WD)"));

    EXPECT_EQ(ERROR_ACCESS_DENIED, Delete(m_key));
    EXPECT_FALSE(Exists(m_key + "\\a"));
    EXPECT_TRUE(Exists(m_key + "\\b\\b1"));
    EXPECT_TRUE(Exists(m_key + "\\c"));
}

} // namespace
