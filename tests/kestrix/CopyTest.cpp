// RegCopyEx against the registry: exact values of every type, names beyond the code page, merging,
// deep trees, long value names, and copies that fail at the start or part-way.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "kestrix/KestrixTestSupport.h"
#include "support/TestSupport.h"

namespace {

// The UTF-16 bytes of text, with its terminator unless told otherwise.
std::string Utf16(const std::wstring& text, bool terminated = true) {
    std::string bytes(reinterpret_cast<const char*>(text.c_str()),
                      (text.size() + (terminated ? 1 : 0)) * sizeof(wchar_t));
    return bytes;
}

class KestrixCopy : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_kestrix.Complete()); }

    int Copy(char* flag = nullptr) {
        return m_kestrix.pfnRegCopyEx(HKEY_CURRENT_USER, m_src.c_str(), HKEY_CURRENT_USER,
                                      m_dst.c_str(), flag);
    }
    std::string Dump(const std::string& path) const {
        return test::DumpTree(HKEY_CURRENT_USER, test::Wide(path));
    }
    void Set(const std::string& path, const std::wstring& name, DWORD type,
             const std::string& bytes) {
        ASSERT_TRUE(test::SetValueW(HKEY_CURRENT_USER, test::Wide(path), name, type, bytes));
    }
    void Key(const std::string& path) {
        ASSERT_TRUE(test::CreateKeyW(HKEY_CURRENT_USER, test::Wide(path)));
    }
    bool Exists(const std::string& path) const {
        return test::KeyExistsW(HKEY_CURRENT_USER, test::Wide(path));
    }
    std::string Bytes(const std::string& path, const std::wstring& name, DWORD* type = nullptr) {
        DWORD ignored = 0;
        std::string bytes;
        if (!test::GetValueW(HKEY_CURRENT_USER, test::Wide(path), name, type ? type : &ignored,
                             &bytes))
            return "<missing>";
        return bytes;
    }

    ktest::CKestrix m_kestrix;
    test::CTestKey m_base{HKEY_CURRENT_USER, "Software\\" + test::UniqueName("KestrixCopy")};
    const std::string m_src = m_base.Sub("src");
    const std::string m_dst = m_base.Sub("dst");
};

TEST_F(KestrixCopy, EmptySourceGivesAnEmptyDestination) {
    Key(m_src);
    EXPECT_EQ(1, Copy());
    EXPECT_TRUE(Exists(m_dst));
    EXPECT_EQ("key []\n", Dump(m_dst));
}

TEST_F(KestrixCopy, EveryValueTypeKeepsItsTypeBytesAndLength) {
    std::string allBytes;
    for (int i = 0; i < 256; ++i)
        allBytes += static_cast<char>(i);
    std::string large;
    for (int i = 0; i < 100000; ++i)
        large += static_cast<char>(i * 7 + 3);
    const struct {
        std::wstring name;
        DWORD type;
        std::string bytes;
    } values[] = {
        {L"", REG_SZ, Utf16(L"the default value")},
        {L"sz", REG_SZ, Utf16(L"text")},
        {L"sz unterminated", REG_SZ, Utf16(L"abc", false)},
        {L"sz odd length", REG_SZ, std::string("a\0b\0c", 5)},
        {L"sz empty", REG_SZ, ""},
        {L"sz beyond the code page", REG_SZ,
         Utf16(L"Gr\u00FC\u00DFe \u041A\u043B\u044E\u0447 \u9375")},
        {L"expand", REG_EXPAND_SZ, Utf16(L"%SystemRoot%\\x")},
        {L"multi", REG_MULTI_SZ, Utf16(L"one") + Utf16(L"two") + std::string(2, '\0')},
        {L"binary", REG_BINARY, allBytes},
        {L"binary empty", REG_BINARY, ""},
        {L"dword", REG_DWORD, std::string("\x78\x56\x34\x12", 4)},
        {L"dword big endian", REG_DWORD_BIG_ENDIAN, std::string("\x12\x34\x56\x78", 4)},
        {L"qword", REG_QWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
        {L"none", REG_NONE, std::string("\0\x01\x02", 3)},
        {L"none empty", REG_NONE, ""},
        {L"link", REG_LINK, Utf16(L"\\Registry\\Machine\\Software", false)},
        {L"resource list", REG_RESOURCE_LIST, std::string("\x01\0\0\0\x02\0\0\0", 8)},
        {L"type of its own", 0x12345678, "own"},
        {L"large", REG_BINARY, large},
    };
    for (const auto& value : values)
        Set(m_src, value.name, value.type, value.bytes);
    ASSERT_EQ(Utf16(L"abc", false), Bytes(m_src, L"sz unterminated"));

    EXPECT_EQ(1, Copy());
    for (const auto& value : values) {
        DWORD type = 0;
        EXPECT_EQ(value.bytes, Bytes(m_dst, value.name, &type))
            << "value \"" << std::string(value.name.begin(), value.name.end()) << "\"";
        EXPECT_EQ(value.type, type);
    }
    EXPECT_EQ(Dump(m_src), Dump(m_dst));
}

TEST_F(KestrixCopy, NamesBeyondTheCodePageAreCopiedExactly) {
    const std::wstring keyName = L"\u041A\u043B\u044E\u0447 \u9375";
    const std::wstring valueName = L"\u540D\u524D";
    ASSERT_TRUE(test::SetValueW(HKEY_CURRENT_USER, test::Wide(m_src) + L"\\" + keyName, valueName,
                                REG_SZ, Utf16(L"value")));
    EXPECT_EQ(1, Copy());
    DWORD type = 0;
    std::string bytes;
    EXPECT_TRUE(test::GetValueW(HKEY_CURRENT_USER, test::Wide(m_dst) + L"\\" + keyName, valueName,
                                &type, &bytes));
    EXPECT_EQ(Utf16(L"value"), bytes);
    EXPECT_EQ(Dump(m_src), Dump(m_dst));
}

TEST_F(KestrixCopy, MergesIntoAnExistingDestination) {
    Set(m_src, L"same", REG_SZ, Utf16(L"new"));
    Set(m_src, L"only in source", REG_DWORD, std::string("\x01\0\0\0", 4));
    Set(m_src + "\\child", L"x", REG_SZ, Utf16(L"source child"));
    Set(m_dst, L"same", REG_BINARY, "old");
    Set(m_dst, L"only in destination", REG_SZ, Utf16(L"kept"));
    Set(m_dst + "\\child", L"y", REG_SZ, Utf16(L"kept too"));
    Key(m_dst + "\\destination child");
    // Each key grants only the rights the copy needs: querying and enumerating in the source,
    // setting values and creating subkeys in the destination.
    const std::pair<std::string, const char*> grants[] = {{m_src, "D:P(A;;0x9;;;WD)"},
                                                          {m_src + "\\child", "D:P(A;;0x9;;;WD)"},
                                                          {m_dst, "D:P(A;;0x6;;;WD)"},
                                                          {m_dst + "\\child", "D:P(A;;0x6;;;WD)"}};
    for (const auto& grant : grants)
        ASSERT_TRUE(test::SetKeyDacl(HKEY_CURRENT_USER, test::Wide(grant.first), grant.second));

    EXPECT_EQ(1, Copy());
    for (const auto& grant : grants)
        ASSERT_TRUE(
            test::SetKeyDacl(HKEY_CURRENT_USER, test::Wide(grant.first), "D:P(A;;KA;;;WD)"));
    DWORD type = 0;
    EXPECT_EQ(Utf16(L"new"), Bytes(m_dst, L"same", &type));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(std::string("\x01\0\0\0", 4), Bytes(m_dst, L"only in source"));
    EXPECT_EQ(Utf16(L"kept"), Bytes(m_dst, L"only in destination"));
    EXPECT_EQ(Utf16(L"source child"), Bytes(m_dst + "\\child", L"x"));
    EXPECT_EQ(Utf16(L"kept too"), Bytes(m_dst + "\\child", L"y"));
    EXPECT_TRUE(Exists(m_dst + "\\destination child"));
}

TEST_F(KestrixCopy, DeepTreesAreCopiedWhole) {
    std::string path = m_src;
    for (int level = 0; level < 40; ++level) {
        Set(path, L"level", REG_DWORD, std::string(reinterpret_cast<const char*>(&level), 4));
        for (const char* sibling : {"first", "last"})
            Set(path + "\\" + sibling, L"v", REG_SZ, Utf16(test::Wide(sibling)));
        path += "\\middle";
    }
    EXPECT_EQ(1, Copy());
    std::string deepest = m_dst;
    for (int level = 0; level < 39; ++level)
        deepest += "\\middle";
    EXPECT_TRUE(Exists(deepest + "\\last"));
    EXPECT_EQ(Dump(m_src), Dump(m_dst));
}

TEST_F(KestrixCopy, LongValueNamesAreCopiedAndTheValuesAfterThemToo) {
    const std::wstring name300(300, L'n');
    const std::wstring name5000(5000, L'm');
    Set(m_src, L"a first", REG_SZ, Utf16(L"1"));
    Set(m_src, name300, REG_SZ, Utf16(L"300"));
    Set(m_src, name5000, REG_BINARY, "5000");
    Set(m_src, L"z last", REG_SZ, Utf16(L"2"));
    Set(m_src + "\\child", L"v", REG_SZ, Utf16(L"3"));

    EXPECT_EQ(1, Copy());
    EXPECT_EQ(Utf16(L"300"), Bytes(m_dst, name300));
    EXPECT_EQ("5000", Bytes(m_dst, name5000));
    EXPECT_EQ(Utf16(L"2"), Bytes(m_dst, L"z last"));
    EXPECT_EQ(Dump(m_src), Dump(m_dst));
}

TEST_F(KestrixCopy, MissingSourceCreatesNothing) {
    EXPECT_EQ(0, Copy());
    EXPECT_FALSE(Exists(m_dst));
}

TEST_F(KestrixCopy, DestinationThatCannotBeCreatedFailsTheCopy) {
    Set(m_src, L"v", REG_SZ, Utf16(L"x"));
    // A lasting key cannot be created below a volatile one.
    const std::string volatileParent = m_base.Sub("volatile");
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_CURRENT_USER, volatileParent.c_str(), 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
    EXPECT_EQ(0, m_kestrix.pfnRegCopyEx(HKEY_CURRENT_USER, m_src.c_str(), HKEY_CURRENT_USER,
                                        (volatileParent + "\\dst").c_str(), nullptr));
    EXPECT_FALSE(Exists(volatileParent + "\\dst"));
}

TEST_F(KestrixCopy, UnreadableSubkeyStopsTheCopyAndKeepsWhatWasCopied) {
    Set(m_src, L"top", REG_SZ, Utf16(L"top value"));
    Set(m_src + "\\a", L"x", REG_SZ, Utf16(L"in a"));
    Set(m_src + "\\b", L"x", REG_SZ, Utf16(L"in b"));
    Set(m_src + "\\c", L"x", REG_SZ, Utf16(L"in c"));
    ASSERT_TRUE(test::SetKeyDacl(HKEY_CURRENT_USER, test::Wide(m_src + "\\b"),
                                 "D:P(D;;KR;;;WD)(A;;KA;;;WD)"));

    EXPECT_EQ(0, Copy());
    EXPECT_EQ(Utf16(L"top value"), Bytes(m_dst, L"top"));
    EXPECT_EQ(Utf16(L"in a"), Bytes(m_dst + "\\a", L"x"));
    EXPECT_FALSE(Exists(m_dst + "\\b"));
    EXPECT_FALSE(Exists(m_dst + "\\c"));
}

TEST_F(KestrixCopy, SubkeyThatCannotBeCreatedStopsTheCopyAndKeepsWhatWasCopied) {
    Set(m_src + "\\a", L"x", REG_SZ, Utf16(L"in a"));
    Set(m_src + "\\b", L"x", REG_SZ, Utf16(L"in b"));
    Set(m_src + "\\b\\below", L"x", REG_SZ, Utf16(L"below b"));
    Set(m_src + "\\c", L"x", REG_SZ, Utf16(L"in c"));
    Key(m_dst);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_CURRENT_USER, (m_dst + "\\b").c_str(), 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);

    EXPECT_EQ(0, Copy());
    EXPECT_EQ(Utf16(L"in a"), Bytes(m_dst + "\\a", L"x"));
    // b's values come before its subkeys; "below" cannot live under the volatile b.
    EXPECT_EQ(Utf16(L"in b"), Bytes(m_dst + "\\b", L"x"));
    EXPECT_FALSE(Exists(m_dst + "\\b\\below"));
    EXPECT_FALSE(Exists(m_dst + "\\c"));
}

TEST_F(KestrixCopy, EmptySourcePathCopiesTheSourceParentItself) {
    Set(m_src, L"v", REG_SZ, Utf16(L"x"));
    Set(m_src + "\\child", L"w", REG_SZ, Utf16(L"y"));
    HKEY source = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, m_src.c_str(), 0, KEY_READ, &source));
    EXPECT_EQ(1, m_kestrix.pfnRegCopyEx(source, "", HKEY_CURRENT_USER, m_dst.c_str(), nullptr));
    RegCloseKey(source);
    EXPECT_EQ(Dump(m_src), Dump(m_dst));
}

TEST_F(KestrixCopy, CopyOntoItselfIsDoneAndIntoItsOwnSubtreeRefusedWithNothingWritten) {
    Set(m_src, L"v", REG_SZ, Utf16(L"x"));
    Key(m_src + "\\kept");
    const std::string before = Dump(m_src);
    std::string upper = m_src;
    CharUpperBuffA(&upper[0], static_cast<DWORD>(upper.size()));
    const std::string doubled = m_base.Path() + "\\\\src\\";
    // The source itself, however it is spelled: 1, as a copy of every value onto itself, with
    // nothing written. (On Windows a value written back gives the key a new last-write time;
    // Wine keeps the time when a value is written with the data it has, so it cannot show that.)
    for (const std::string& destination : {m_src, m_src + "\\", upper, doubled}) {
        EXPECT_EQ(1, m_kestrix.pfnRegCopyEx(HKEY_CURRENT_USER, m_src.c_str(), HKEY_CURRENT_USER,
                                            destination.c_str(), nullptr))
            << destination;
        EXPECT_EQ(before, Dump(m_src)) << destination << ": something was written";
    }
    // Below the source: refused.
    for (const std::string& destination :
         {m_src + "\\Backup", upper + "\\backup\\deeper", m_src + "\\\\kept\\x"}) {
        EXPECT_EQ(0, m_kestrix.pfnRegCopyEx(HKEY_CURRENT_USER, m_src.c_str(), HKEY_CURRENT_USER,
                                            destination.c_str(), nullptr))
            << destination;
        EXPECT_EQ(before, Dump(m_src)) << destination << ": something was written";
    }
    // As the copy would, a key of the tree that may not be written, or read, gives 0.
    for (const char* sddl : {"D:P(A;;KR;;;WD)", "D:P(A;;KW;;;WD)"}) {
        ASSERT_TRUE(test::SetKeyDacl(HKEY_CURRENT_USER, test::Wide(m_src + "\\kept"), sddl));
        EXPECT_EQ(0, m_kestrix.pfnRegCopyEx(HKEY_CURRENT_USER, m_src.c_str(), HKEY_CURRENT_USER,
                                            upper.c_str(), nullptr))
            << sddl;
        ASSERT_TRUE(
            test::SetKeyDacl(HKEY_CURRENT_USER, test::Wide(m_src + "\\kept"), "D:P(A;;KA;;;WD)"));
    }
    // Both paths empty name the parent itself; a missing source is no copy at all.
    EXPECT_EQ(1, m_kestrix.pfnRegCopyEx(HKEY_CURRENT_USER, "", HKEY_CURRENT_USER, "", nullptr));
    EXPECT_EQ(0, m_kestrix.pfnRegCopyEx(HKEY_CURRENT_USER, (m_src + "\\missing").c_str(),
                                        HKEY_CURRENT_USER, (m_src + "\\MISSING").c_str(), nullptr));
    EXPECT_EQ(before, Dump(m_src));
    // Both ends below the same predefined root, given in its two forms: the same parent.
    const std::vector<HKEY> roots = ktest::RootForms(HKEY_CURRENT_USER);
    for (HKEY source : roots) {
        for (HKEY target : roots) {
            EXPECT_EQ(0, m_kestrix.pfnRegCopyEx(source, m_src.c_str(), target,
                                                (m_src + "\\Backup").c_str(), nullptr));
            EXPECT_EQ(before, Dump(m_src)) << source << " to " << target << ": written";
        }
    }
    // A sibling whose name merely starts with the source's name is another key.
    EXPECT_EQ(1, m_kestrix.pfnRegCopyEx(HKEY_CURRENT_USER, m_src.c_str(), HKEY_CURRENT_USER,
                                        (m_src + "AB").c_str(), nullptr));
    EXPECT_EQ(before, Dump(m_src + "AB"));
}

TEST_F(KestrixCopy, CopyIntoItsOwnSubtreeThroughAnotherParentEndsWithAFailure) {
    Set(m_src, L"v", REG_SZ, Utf16(L"x"));
    // Named from another parent handle the two ends are not compared; each level then finds the
    // copy made just before it, and the copy must end, not exhaust the stack.
    HKEY base = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CURRENT_USER, m_base.Path().c_str(), 0, KEY_ALL_ACCESS, &base));
    EXPECT_EQ(0,
              m_kestrix.pfnRegCopyEx(HKEY_CURRENT_USER, m_src.c_str(), base, "src\\copy", nullptr));
    RegCloseKey(base);
    EXPECT_EQ(Utf16(L"x"), Bytes(m_src + "\\copy\\copy", L"v"));
}

TEST_F(KestrixCopy, RegistryLinksAreNeitherWrittenNorReadThrough) {
    const std::string outside = m_base.Sub("outside");
    Set(outside + "\\child", L"v", REG_SZ, Utf16(L"outside"));
    Set(m_src + "\\a", L"x", REG_SZ, Utf16(L"in a"));
    Set(m_src + "\\b", L"x", REG_SZ, Utf16(L"in b"));
    const std::string before = Dump(outside);
    // Below the destination, named as the destination or source, and below a source: 0 each.
    test::CRegLink below(HKEY_CURRENT_USER, m_dst + "\\b", outside);
    test::CRegLink named(HKEY_CURRENT_USER, m_base.Sub("named"), outside);
    test::CRegLink inSource(HKEY_CURRENT_USER, m_base.Sub("src2\\l"), outside);
    ASSERT_TRUE(below.Resolves() && named.Resolves() && inSource.Resolves());
    EXPECT_EQ(0, Copy());
    EXPECT_EQ(Utf16(L"in a"), Bytes(m_dst + "\\a", L"x"));
    const std::pair<std::string, std::string> copies[] = {
        {"src", "named"}, {"named", "dst3"}, {"src2", "dst2"}};
    for (const auto& copy : copies)
        EXPECT_EQ(0, m_kestrix.pfnRegCopyEx(HKEY_CURRENT_USER, m_base.Sub(copy.first).c_str(),
                                            HKEY_CURRENT_USER, m_base.Sub(copy.second).c_str(),
                                            nullptr))
            << copy.first << " to " << copy.second;
    EXPECT_EQ("<missing>", Bytes(m_base.Sub("dst2\\l\\child"), L"v"));
    EXPECT_EQ(before, Dump(outside));
}

} // namespace
