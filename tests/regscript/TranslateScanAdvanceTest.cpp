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
                                             "[Output]\r\n"
                                             "Last=[windir]"));
    EXPECT_EQ(0u, Run("TRANSLATESCANADVANCE scanadvance.ini"));
    EXPECT_EQ(folder + "\\Temp\\Scans", Profile("Scan", "Folder"));
    EXPECT_EQ("[TEMP]Scans", Profile("Scan", "Other"));
    EXPECT_EQ(folder + "\\Temp=x", Profile("Scan", "Second"));
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

TEST_F(TranslateScanAdvance, FileThatCannotBeOpenedExitsMinusOne) {
    EXPECT_EQ(static_cast<DWORD>(-1), Run("TRANSLATESCANADVANCE missing.ini"));
    EXPECT_FALSE(test::FileExists(m_folder.File("missing.ini")));
    EXPECT_EQ(static_cast<DWORD>(-1), Run("TRANSLATESCANADVANCE"));
}

} // namespace
