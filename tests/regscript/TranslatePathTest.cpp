// TRANSLATEPATH through Torvane.exe: the rewritten file, the files it must leave alone, Wine's
// own regedit exports as input, and a run ended at many points while it writes.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "tests/regscript/RegScriptTestSupport.h"

namespace {

const DWORD EXIT_MINUS_ONE = static_cast<DWORD>(-1);

// Files the write-back leaves behind in the folder, other than the ones named.
std::vector<std::string> LeftoverFiles(const test::CTempFolder& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(folder.File("~trv*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do
            names.push_back(data.cFileName);
        while (FindNextFileA(find, &data));
        FindClose(find);
    }
    return names;
}

class TranslatePath : public ::testing::Test {
protected:
    DWORD Run(const std::string& args) {
        test::RunResult result = test::RunTorvane(m_folder, args, 120000);
        EXPECT_TRUE(result.finished) << args;
        return result.exitCode;
    }

    test::CProgramFolder m_folder{"translatepath"};
};

TEST_F(TranslatePath, RewritesTheWorkedExampleInPlace) {
    const std::string path = m_folder.File("Setup.reg");
    ASSERT_TRUE(test::WriteFileBytes(path, test::WorkedExampleInput()));
    EXPECT_EQ(0u, Run("TRANSLATEPATH setup.reg"));
    EXPECT_EQ(test::WorkedExampleOutput(), test::ReadFileBytes(path));
    EXPECT_EQ(std::vector<std::string>{}, LeftoverFiles(m_folder));
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(path.c_str(), &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    FindClose(find);
    EXPECT_STREQ("Setup.reg", data.cFileName) << "the file keeps its name";
}

TEST_F(TranslatePath, FileNameWithBlankAndWindirValue) {
    const std::string path = m_folder.File("scan settings.reg");
    ASSERT_TRUE(test::WriteFileBytes(path, "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\S]\r\n"
                                           "\"Driver\"=\"[WINDIR]System32\\drv.dll\"\r\n"));
    EXPECT_EQ(0u, Run("translatepath scan settings.reg"));
    EXPECT_EQ("\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\S]\r\n\"Driver\"=\"" +
                  test::ShortWindowsFolder() + "\\System32\\drv.dll\"\r\n",
              test::ReadFileBytes(path));
}

TEST_F(TranslatePath, FilesFromWhichNothingIsTakenKeepEveryByte) {
    static const char BINARY[] = "[HKEY_LOCAL_MACHINE\\A]\r\n\"a\"=\"\0\x01\x02\"\r\n";
    const std::vector<std::pair<std::string, std::string>> files = {
        {"empty.reg", ""},
        {"preamble.reg", "REGEDIT4\r\n\r\n\"before\"=\"any section\"\r\n"},
        {"novalues.reg", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\r\n[HKEY_USERS\\B]\r\n"},
        {"binary.reg", std::string(BINARY, sizeof(BINARY) - 1)},
        {"utf8bom.reg", "\xEF\xBB\xBF[HKEY_LOCAL_MACHINE\\A]\r\n\"a\"=\"1\"\r\n"}};
    for (const auto& file : files) {
        const std::string path = m_folder.File(file.first);
        ASSERT_TRUE(test::WriteFileBytes(path, file.second));
        EXPECT_EQ(0u, Run("TRANSLATEPATH " + file.first)) << file.first;
        EXPECT_EQ(file.second, test::ReadFileBytes(path)) << file.first;
        EXPECT_TRUE(test::FileExists(path)) << file.first;
    }
    EXPECT_EQ(std::vector<std::string>{}, LeftoverFiles(m_folder));
}

TEST_F(TranslatePath, FileThatCannotBeOpenedOrWrittenExitsMinusOne) {
    EXPECT_EQ(EXIT_MINUS_ONE, Run("TRANSLATEPATH missing.reg"));
    EXPECT_FALSE(test::FileExists(m_folder.File("missing.reg")));
    EXPECT_EQ(EXIT_MINUS_ONE, Run("TRANSLATEPATH")) << "the program folder is no file";

    // A read-only file is not replaced, as it could not be opened for writing.
    const std::string path = m_folder.File("readonly.reg");
    ASSERT_TRUE(test::WriteFileBytes(path, test::WorkedExampleInput()));
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(EXIT_MINUS_ONE, Run("TRANSLATEPATH readonly.reg"));
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(test::WorkedExampleInput(), test::ReadFileBytes(path));
    EXPECT_EQ(std::vector<std::string>{}, LeftoverFiles(m_folder));
}

// --- Wine's regedit exports as input ---

std::string ToAnsi(const std::string& utf16) {
    const int cch = static_cast<int>(utf16.size() / 2);
    const wchar_t* p = reinterpret_cast<const wchar_t*>(utf16.data());
    const int cb = WideCharToMultiByte(CP_ACP, 0, p, cch, nullptr, 0, nullptr, nullptr);
    std::string ansi(cb, '\0');
    WideCharToMultiByte(CP_ACP, 0, p, cch, &ansi[0], cb, nullptr, nullptr);
    return ansi;
}

TEST_F(TranslatePath, WineRegeditExportsAsInput) {
    test::CScratchKey scratch(HKEY_CURRENT_USER, "Software", "TorvaneRegScript");
    const std::string base = scratch.Path();
    std::string blob;
    for (int i = 0; i < 300; ++i)
        blob += static_cast<char>(i * 7);
    ASSERT_TRUE(test::SetStringValue(HKEY_CURRENT_USER, base, "", "default text"));
    ASSERT_TRUE(
        test::SetStringValue(HKEY_CURRENT_USER, base, "Driver", "[WINDIR]\\System32\\d.dll"));
    ASSERT_TRUE(test::SetStringValue(HKEY_CURRENT_USER, base, "Name=With \"Quote\"", "a=b"));
    ASSERT_TRUE(test::SetValue(HKEY_CURRENT_USER, base, "Blob", REG_BINARY, blob));
    ASSERT_TRUE(test::SetValue(HKEY_CURRENT_USER, base, "Count", REG_DWORD,
                               std::string("\x78\x56\x34\x12", 4)));
    const std::string accented = base + "\\Caf\xE9 Sub\\Deeper";
    ASSERT_TRUE(test::SetStringValue(HKEY_CURRENT_USER, accented, "\xE9t\xE9", "\xC0 la"));
    for (int i = 0; i < 20; ++i) // enough siblings for the lookup's index
        ASSERT_TRUE(test::SetStringValue(HKEY_CURRENT_USER, base + "\\Sib" + std::to_string(i), "n",
                                         std::to_string(i)));

    // Wine's regedit writes the "Version 5.00" form in UTF-16: not ours to rewrite.
    const std::string exported = m_folder.File("export.reg");
    test::RunResult result =
        test::RunAndWait("regedit.exe /e \"" + exported + "\" \"HKEY_CURRENT_USER\\" + base + "\"");
    ASSERT_TRUE(result.finished);
    const std::string utf16 = test::ReadFileBytes(exported);
    ASSERT_GT(utf16.size(), 1000u);
    ASSERT_EQ("\xFF\xFE", utf16.substr(0, 2));
    EXPECT_EQ(0u, Run("TRANSLATEPATH export.reg"));
    EXPECT_EQ(utf16, test::ReadFileBytes(exported));

    // The same export as 8-bit REGEDIT4 text (it holds no type whose data depends on the
    // form) is rewritten: the writer's layout, the values intact, "[WINDIR]" translated.
    std::string ansi = ToAnsi(utf16.substr(2));
    const std::string header = "Windows Registry Editor Version 5.00";
    ASSERT_EQ(header, ansi.substr(0, header.size()));
    ansi.replace(0, header.size(), "REGEDIT4");
    const std::string ansiPath = m_folder.File("ansi.reg");
    ASSERT_TRUE(test::WriteFileBytes(ansiPath, ansi));
    EXPECT_EQ(0u, Run("TRANSLATEPATH ansi.reg"));
    const std::string rewritten = test::ReadFileBytes(ansiPath);
    const std::string firstSection = "\r\n[HKEY_CURRENT_USER\\" + base + "]\r\n";
    ASSERT_EQ(firstSection, rewritten.substr(0, firstSection.size()));
    EXPECT_NE(std::string::npos, rewritten.find("\r\n\"Driver\"=\"" + test::ShortWindowsFolder() +
                                                "\\\\\\System32\\\\d.dll\"\r\n"));
    EXPECT_NE(std::string::npos,
              rewritten.find("\r\n[HKEY_CURRENT_USER\\" + base +
                             "\\Caf\xE9 Sub\\Deeper]\r\n\"\xE9t\xE9\"=\"\xC0 la\"\r\n"));
    EXPECT_EQ(std::string::npos, rewritten.find("REGEDIT4"));
    EXPECT_EQ(std::string::npos, rewritten.find("\\\r\n")) << "continued lines are joined";

    // Wine's regedit imports the rewritten file (given a header line) to the same values.
    ASSERT_TRUE(test::WriteFileBytes(m_folder.File("import.reg"), "REGEDIT4\r\n" + rewritten));
    test::DeleteKeyTree(HKEY_CURRENT_USER, base);
    ASSERT_FALSE(test::KeyExists(HKEY_CURRENT_USER, base));
    result = test::RunAndWait("regedit.exe /s \"" + m_folder.File("import.reg") + "\"");
    ASSERT_TRUE(result.finished);
    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(test::GetValue(HKEY_CURRENT_USER, base, "Blob", &type, &data));
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
    EXPECT_EQ(blob, data);
    ASSERT_TRUE(test::GetValue(HKEY_CURRENT_USER, base, "Count", &type, &data));
    EXPECT_EQ(std::string("\x78\x56\x34\x12", 4), data);
    ASSERT_TRUE(test::GetValue(HKEY_CURRENT_USER, base, "Name=With \"Quote\"", &type, &data));
    EXPECT_EQ(std::string("a=b\0", 4), data);
    ASSERT_TRUE(test::GetValue(HKEY_CURRENT_USER, base, "", &type, &data));
    EXPECT_EQ(std::string("default text\0", 13), data);
    ASSERT_TRUE(test::GetValue(HKEY_CURRENT_USER, base, "Driver", &type, &data));
    ASSERT_TRUE(test::GetValue(HKEY_CURRENT_USER, accented, "\xE9t\xE9", &type, &data));
    EXPECT_EQ(std::string("\xC0 la\0", 5), data);
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(test::GetValue(HKEY_CURRENT_USER, base + "\\Sib" + std::to_string(i), "n",
                                   &type, &data));
        EXPECT_EQ(std::to_string(i) + std::string(1, '\0'), data);
    }
}

// --- A run ended while it writes ---

// A registry script of about cbTarget bytes: keys with long continued hex values.
std::string BigScript(size_t cbTarget) {
    std::string text = "REGEDIT4\r\n";
    for (int key = 0; text.size() < cbTarget; ++key) {
        text += "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Big\\Key" + std::to_string(key) + "]\r\n";
        text += "\"Path\"=\"[WINDIR]\\Key" + std::to_string(key) + "\"\r\n\"Blob\"=hex:";
        for (int i = 0; i < 600; ++i)
            text += (i % 25 == 24) ? "ab,\\\r\n  " : "cd,";
        text += "ef\r\n";
    }
    return text;
}

struct CChild {
    PROCESS_INFORMATION info = {};
    ~CChild() {
        if (info.hProcess != nullptr) {
            TerminateProcess(info.hProcess, 99);
            WaitForSingleObject(info.hProcess, 30000);
            CloseHandle(info.hThread);
            CloseHandle(info.hProcess);
        }
    }
};

ULONGLONG FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

TEST_F(TranslatePath, RunEndedAtAnyPointLeavesTheOldFileOrTheNewOne) {
    const std::string oldText = BigScript(6 << 20);
    const std::string path = m_folder.File("big.reg");

    // The complete rewrite, and how long it takes here.
    ASSERT_TRUE(test::WriteFileBytes(path, oldText));
    const DWORD start = GetTickCount();
    ASSERT_EQ(0u, Run("TRANSLATEPATH big.reg"));
    const DWORD fullRun = GetTickCount() - start;
    const std::string newText = test::ReadFileBytes(path);
    ASSERT_NE(oldText, newText);
    ASSERT_GT(newText.size(), 1000000u);

    int nOld = 0, nNew = 0, nWhileWriting = 0;
    const std::string commandLine = "\"" + m_folder.Torvane() + "\" TRANSLATEPATH big.reg";
    for (int round = 0; round < 16; ++round) {
        ASSERT_TRUE(test::WriteFileBytes(path, oldText));
        CChild child;
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        std::vector<char> line(commandLine.begin(), commandLine.end());
        line.push_back('\0');
        ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &startup, &child.info));
        if (round < 8) {
            // While the new text is being written: when k/8 of it has been written (or the
            // old file has changed at all, as an in-place writer would change it).
            const ULONGLONG threshold = newText.size() * round / 8;
            for (;;) {
                std::vector<std::string> leftovers = LeftoverFiles(m_folder);
                ULONGLONG written = leftovers.empty() ? 0 : FileSize(m_folder.File(leftovers[0]));
                if ((!leftovers.empty() && written >= threshold) ||
                    FileSize(path) != oldText.size())
                    break;
                if (WaitForSingleObject(child.info.hProcess, 1) == WAIT_OBJECT_0)
                    break;
            }
            nWhileWriting += !LeftoverFiles(m_folder).empty();
        } else {
            // At points spread over the whole run, reading included.
            Sleep(fullRun * (round - 8) / 8);
        }
        TerminateProcess(child.info.hProcess, 99);
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child.info.hProcess, 30000));

        const std::string now = test::ReadFileBytes(path);
        if (now == oldText)
            ++nOld;
        else if (now == newText)
            ++nNew;
        else
            ADD_FAILURE() << "round " << round << ": " << now.size() << " bytes, neither old ("
                          << oldText.size() << ") nor new (" << newText.size() << ")";
        for (const std::string& leftover : LeftoverFiles(m_folder))
            DeleteFileA(m_folder.File(leftover).c_str());
    }
    std::printf("ended runs: %d left the old file, %d the new one; %d ended while writing "
                "(a full run takes %lu ms)\n",
                nOld, nNew, nWhileWriting, fullRun);
}

} // namespace
