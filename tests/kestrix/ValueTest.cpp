// RegGetKeyValueEx against the registry: root names, the result table, text lengths at the
// 260-byte limit, non-text data, data without a terminator and the default value.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "kestrix/KestrixTestSupport.h"
#include "support/TestSupport.h"

namespace {

const char kUntouched = '\xCC';
// Larger than the 260 bytes the export may write, to see that nothing lands behind them.
const size_t kOutSize = 400;

class KestrixValue : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_kestrix.Complete()); }

    // Calls the export on HKEY_CURRENT_USER\<key>\<sub> with an output buffer filled with
    // kUntouched, kept in m_out.
    int Read(const std::string& valueName, const std::string& sub = "", char* flag = nullptr) {
        std::string path = sub.empty() ? m_key.Path() : m_key.Sub(sub);
        return ReadAt("HKEY_CURRENT_USER", path.c_str(), valueName.c_str(), flag);
    }
    int ReadAt(const char* root, const char* path, const char* valueName, char* flag = nullptr) {
        m_out.assign(kOutSize, kUntouched);
        return m_kestrix.pfnRegGetKeyValueEx(root, path, valueName, &m_out[0], flag);
    }
    // The text the export wrote (up to its NUL).
    std::string Text() const { return std::string(m_out.c_str()); }
    bool Untouched(size_t from = 0) const {
        return m_out.find_first_not_of(kUntouched, from) == std::string::npos;
    }
    void Set(const std::string& name, DWORD type, const std::string& bytes) {
        ASSERT_TRUE(test::SetValue(HKEY_CURRENT_USER, m_key.Path(), name, type, bytes));
    }

    ktest::CKestrix m_kestrix;
    test::CTestKey m_key{HKEY_CURRENT_USER, "Software\\" + test::UniqueName("KestrixValue")};
    std::string m_out;
};

TEST_F(KestrixValue, RootNamesInOtherSpellingsFailTheOpen) {
    Set("v", REG_SZ, std::string("text\0", 5));
    const char* const spellings[] = {"hkey_current_user", "HKCU", "HKEY_CURRENT_USER ",
                                     "HKEY_CURRENT_USE",  "",     nullptr};
    for (const char* spelling : spellings) {
        // The open's status comes back, not 0 ("value missing").
        EXPECT_EQ(ERROR_INVALID_HANDLE, ReadAt(spelling, m_key.Path().c_str(), "v"))
            << (spelling ? spelling : "(null)");
        EXPECT_TRUE(Untouched());
    }
}

TEST_F(KestrixValue, ResultTable) {
    Set("text", REG_SZ, std::string("hello\0", 6));
    Set("empty", REG_SZ, std::string("\0", 1));
    Set("nothing", REG_BINARY, "");

    EXPECT_EQ(1, Read("text"));
    EXPECT_EQ("hello", Text());
    EXPECT_TRUE(Untouched(6));

    EXPECT_EQ(0, Read("missing"));
    EXPECT_TRUE(Untouched());
    EXPECT_EQ(0, Read("empty"));
    EXPECT_TRUE(Untouched());
    EXPECT_EQ(0, Read("nothing"));
    EXPECT_TRUE(Untouched());

    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Read("text", "no such key"));
    EXPECT_TRUE(Untouched());

    char flag[] = "x64";
    EXPECT_EQ(ERROR_BADKEY, ReadAt("HKEY_CURRENT_USER", "", "text", flag));
    EXPECT_TRUE(Untouched());
    EXPECT_EQ(ERROR_BADKEY, ReadAt("HKEY_CURRENT_USER", nullptr, "text"));
    EXPECT_TRUE(Untouched());
    // The flag is taken before the path is looked at.
    EXPECT_STREQ("X64", flag);
}

TEST_F(KestrixValue, TextUpTo259CharactersFitsAndLongerTextIsRefusedWhole) {
    const std::string text259(259, 'a');
    Set("259", REG_SZ, text259 + '\0');
    Set("260", REG_SZ, std::string(260, 'b') + '\0');
    Set("long", REG_SZ, std::string(1000, 'c') + '\0');

    EXPECT_EQ(1, Read("259"));
    EXPECT_EQ(text259, Text());
    EXPECT_EQ('\0', m_out[259]);
    EXPECT_TRUE(Untouched(260));

    EXPECT_EQ(0, Read("260"));
    EXPECT_TRUE(Untouched());
    EXPECT_EQ(0, Read("long"));
    EXPECT_TRUE(Untouched());
}

TEST_F(KestrixValue, NonTextTypesGiveTheirBytesUpToTheFirstZero) {
    Set("dword", REG_DWORD, std::string("ABC\0", 4));
    Set("zero", REG_DWORD, std::string(4, '\0'));
    Set("binary", REG_BINARY, std::string("ab\0cd", 5));
    Set("multi", REG_MULTI_SZ, std::string("one\0two\0\0", 9));
    Set("expand", REG_EXPAND_SZ, std::string("%SystemRoot%\\x\0", 15));
    Set("qword", REG_QWORD, std::string("xyz\0\0\0\0\0", 8));

    EXPECT_EQ(1, Read("dword"));
    EXPECT_EQ("ABC", Text());
    EXPECT_EQ(0, Read("zero"));
    EXPECT_EQ(1, Read("binary"));
    EXPECT_EQ("ab", Text());
    EXPECT_EQ(1, Read("multi"));
    EXPECT_EQ("one", Text());
    EXPECT_EQ(1, Read("expand"));
    EXPECT_EQ("%SystemRoot%\\x", Text());
    EXPECT_EQ(1, Read("qword"));
    EXPECT_EQ("xyz", Text());
}

TEST_F(KestrixValue, DataWithoutTerminatorEndsAtItsLength) {
    // A long value read first leaves its bytes behind in the memory the library reads into; a
    // read past the short values' ends would show them.
    Set("long", REG_BINARY, std::string(259, 'L'));
    Set("short", REG_BINARY, "xyz");
    Set("unterminated", REG_SZ, "abc"); // stored without its NUL
    Set("full", REG_BINARY, std::string(260, 'F'));

    DWORD type = 0;
    std::string stored;
    ASSERT_TRUE(test::GetValueW(HKEY_CURRENT_USER, m_key.PathW(), L"unterminated", &type, &stored));
    ASSERT_EQ(std::string("a\0b\0c\0", 6), stored);

    EXPECT_EQ(1, Read("long"));
    EXPECT_EQ(std::string(259, 'L'), Text());
    EXPECT_EQ(1, Read("short"));
    EXPECT_EQ("xyz", Text());
    EXPECT_TRUE(Untouched(4));
    EXPECT_EQ(1, Read("long"));
    EXPECT_EQ(1, Read("unterminated"));
    EXPECT_EQ("abc", Text());
    EXPECT_TRUE(Untouched(4));

    // 260 bytes without a zero leave no room for the terminator in the caller's 260 bytes: the
    // value is refused, not cut.
    EXPECT_EQ(0, Read("full"));
    EXPECT_TRUE(Untouched());
}

TEST_F(KestrixValue, NullOrEmptyValueNameReadsTheDefaultValue) {
    EXPECT_EQ(0, ReadAt("HKEY_CURRENT_USER", m_key.Path().c_str(), nullptr));
    Set("", REG_SZ, std::string("default text\0", 13));
    Set("other", REG_SZ, std::string("other text\0", 11));

    EXPECT_EQ(1, ReadAt("HKEY_CURRENT_USER", m_key.Path().c_str(), nullptr));
    EXPECT_EQ("default text", Text());
    EXPECT_EQ(1, Read(""));
    EXPECT_EQ("default text", Text());
}

} // namespace
