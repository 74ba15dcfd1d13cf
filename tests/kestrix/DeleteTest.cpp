// RegDelKeyEX through the loaded library: trees bottom-up, missing keys, bad paths, names beyond
// the code page, and a subkey that cannot be deleted.
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

// The walk itself, which Torvane's product-key commands share, is tested in-process with
// RegDelKey (tests/regmaint/RegDelKeyTest.cpp); here it is met through the export, in both
// builds: a tree goes whole, a missing key changes nothing, a key that refuses stops it.
TEST_F(KestrixDelete, TreesGoWholeMissingKeysChangeNothingAndARefusalStopsTheWalk) {
    for (const char* sub : {"\\a\\a1", "\\a\\a2", "\\b\\b1", "\\c"})
        Set(m_key + sub);
    Set(m_base.Sub("sibling"));
    const std::wstring name = L"\u041A\u043B\u044E\u0447 \u9375";
    ASSERT_TRUE(
        test::CreateKeyW(HKEY_CURRENT_USER, test::Wide(m_key) + L"\\0\\" + name + L"\\" + name));
    const std::string before = test::DumpTree(HKEY_CURRENT_USER, m_base.PathW());
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Delete(m_base.Sub("missing\\deeper")));
    EXPECT_EQ(before, test::DumpTree(HKEY_CURRENT_USER, m_base.PathW()));

    // Taken in name order: "0" and "a" go completely before "b", which refuses; "c" stays.
    ASSERT_TRUE(
        test::SetKeyDacl(HKEY_CURRENT_USER, test::Wide(m_key + "\\b\\b1"), "D:P(A;;KR;;;WD)"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, Delete(m_key));
    EXPECT_FALSE(Exists(m_key + "\\0"));
    EXPECT_FALSE(Exists(m_key + "\\a"));
    EXPECT_TRUE(Exists(m_key + "\\b\\b1"));
    EXPECT_TRUE(Exists(m_key + "\\c"));

    ASSERT_TRUE(
        test::SetKeyDacl(HKEY_CURRENT_USER, test::Wide(m_key + "\\b\\b1"), "D:P(A;;KA;;;WD)"));
    EXPECT_EQ(ERROR_SUCCESS, Delete(m_key));
    EXPECT_FALSE(Exists(m_key));
    EXPECT_TRUE(Exists(m_base.Sub("sibling")));

    // The root in each form a caller may pass it.
    for (HKEY root : ktest::RootForms(HKEY_CURRENT_USER)) {
        Set(m_key + "\\a");
        EXPECT_EQ(ERROR_SUCCESS, Delete(m_key, nullptr, root)) << root;
        EXPECT_FALSE(Exists(m_key)) << root;
    }
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

TEST_F(KestrixDelete, RegistryLinkGoesAsAKeyOfItsOwnAndItsTargetStays) {
    Set(m_base.Sub("target\\child"));
    test::CRegLink link(HKEY_CURRENT_USER, m_key + "\\link", m_base.Sub("target"));
    ASSERT_TRUE(link.Resolves());
    const std::string before = test::DumpTree(HKEY_CURRENT_USER, test::Wide(m_base.Sub("target")));
    char flag[] = "x64";
    EXPECT_EQ(ERROR_SUCCESS, Delete(m_key, flag));
    EXPECT_FALSE(link.Present());
    EXPECT_FALSE(Exists(m_key));
    EXPECT_EQ(before, test::DumpTree(HKEY_CURRENT_USER, test::Wide(m_base.Sub("target"))));
}

} // namespace
