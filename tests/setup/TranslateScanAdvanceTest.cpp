// TRANSLATESCANADVANCE through Torvane.exe: values written through the platform's profile
// writer, other lines and files without "[WINDIR]" values left alone.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "support/TestSupport.h"
#include "tests/regscript/RegScriptTestSupport.h"

namespace {

class TranslateScanAdvance : public ::testing::Test {
protected:
    DWORD Run(const std::string& args) {
        test::RunResult result = test::RunTorvane(m_folder, args);
        EXPECT_TRUE(result.finished) << args;
        return result.exitCode;
    }

    std::string Profile(const std::string& section, const std::string& key) {
        char value[4096] = {};
        GetPrivateProfileStringA(section.c_str(), key.c_str(), "(absent)", value, sizeof(value),
                                 m_path.c_str());
        return value;
    }

    test::CProgramFolder m_folder{"scanadvance"};
    std::string m_path = m_folder.File("ScanAdvance.ini");
};

TEST_F(TranslateScanAdvance, WindirValuesBecomeRealPaths) {
    const std::string folder = test::WindowsFolder();
    ASSERT_TRUE(test::WriteFileBytes(m_path, "; scan settings\r\n"
                                             "Top=[WINDIR]Before\r\n"
                                             "[Scan]\r\n"
                                             "Folder=[WINDIR]Temp\\Scans\r\n"
                                             "Other=[TEMP]Scans\r\n"
                                             "\r\n"
                                             "Second=[WINDIR]Temp=x\r\n"
                                             "Doubled==[WINDIR]D\r\n"
                                             "[Output]\r\n"
                                             "Last=[windir]"));
    {
        // Held for 3 s by another process that shares reading only: waited out.
        test::CFileHold hold(m_path, 3000);
        ASSERT_TRUE(hold.Held());
        EXPECT_EQ(0u, Run("TRANSLATESCANADVANCE scanadvance.ini"));
    }
    WIN32_FIND_DATAA left;
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileA(m_folder.File("~trv*").c_str(), &left))
        << left.cFileName << " left behind";
    EXPECT_EQ(folder + "\\Temp\\Scans", Profile("Scan", "Folder"));
    EXPECT_EQ("[TEMP]Scans", Profile("Scan", "Other"));
    EXPECT_EQ(folder + "\\Temp=x", Profile("Scan", "Second"));
    EXPECT_EQ(folder + "\\D", Profile("Scan", "Doubled"));
    EXPECT_EQ(folder + "\\", Profile("Output", "Last"));
    const std::string text = test::ReadFileBytes(m_path);
    EXPECT_EQ(0u, text.find("; scan settings\r\nTop=" + folder + "\\Before\r\n")) << text;
}

TEST_F(TranslateScanAdvance, FileWithoutWindirValuesIsNotWritten) {
    // Blanks around "=" would be dropped by any write of the profile writer.
    const std::string text = "[Scan]\r\nFolder = [WINDIR]Temp\r\nOther=[TEMP]x\r\nPlain = 1\r\n";
    ASSERT_TRUE(test::WriteFileBytes(m_path, text));
    EXPECT_EQ(0u, Run("TRANSLATESCANADVANCE ScanAdvance.ini"));
    EXPECT_EQ(text, test::ReadFileBytes(m_path));
}

TEST_F(TranslateScanAdvance, FileThatCannotBeOpenedOrWrittenExitsMinusOne) {
    EXPECT_EQ(static_cast<DWORD>(-1), Run("TRANSLATESCANADVANCE missing.ini"));
    EXPECT_FALSE(test::FileExists(m_folder.File("missing.ini")));
    EXPECT_EQ(static_cast<DWORD>(-1), Run("TRANSLATESCANADVANCE"));

    // Read-only: refused before the first write. (Wine running as root lets the profile
    // writer rewrite a read-only file; Windows refuses it.)
    const std::string text = "[Scan]\r\nFolder=[WINDIR]Temp\r\n";
    ASSERT_TRUE(test::WriteFileBytes(m_path, text));
    ASSERT_TRUE(SetFileAttributesA(m_path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(static_cast<DWORD>(-1), Run("TRANSLATESCANADVANCE ScanAdvance.ini"));
    SetFileAttributesA(m_path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(text, test::ReadFileBytes(m_path));

    // Text it does not read is left as it is: exit -1 when it holds "[WINDIR]".
    std::string utf16 = "\xFF\xFE";
    for (char c : text)
        utf16 += std::string(1, c) + '\0';
    const std::string plain = "[Scan]\r\nFolder=C:\\Scans\r\n";
    // So many values that the profile writer, rewriting the file for each, would write more
    // than 256 MB: refused before the first write.
    std::string many = "[Scan]\r\n;" + std::string(1 << 20, 'x') + "\r\n";
    for (int i = 0; i < 260; ++i)
        many += "F" + std::to_string(i) + "=[WINDIR]x\r\n";
    const std::pair<std::string, DWORD> files[] = {{utf16, static_cast<DWORD>(-1)},
                                                   {text + "\x1A;", static_cast<DWORD>(-1)},
                                                   {plain + std::string(1, '\0') + plain, 0},
                                                   {many, static_cast<DWORD>(-1)}};
    for (const auto& file : files) {
        ASSERT_TRUE(test::WriteFileBytes(m_path, file.first));
        EXPECT_EQ(file.second, Run("TRANSLATESCANADVANCE ScanAdvance.ini"));
        EXPECT_EQ(file.first, test::ReadFileBytes(m_path));
    }
}

} // namespace
