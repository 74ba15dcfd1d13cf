// TRANSLATEPATH through Torvane.exe: the rewritten file, the files it must leave alone, Wine's
// own regedit exports as input, and a run ended at many points while it writes.
#include <gtest/gtest.h>

#include <windows.h>

#include <sddl.h>

#include <string>
#include <vector>

#include "common/FileReplace.h"
#include "common/Handle.h"
#include "regscript/IniFile.h"
#include "support/TestSupport.h"
#include "tests/regscript/RegScriptTestSupport.h"

namespace {

const DWORD EXIT_MINUS_ONE = static_cast<DWORD>(-1);

// The file's DACL, as the bytes of its security descriptor.
std::string Dacl(const std::string& path) {
    DWORD cb = 0;
    GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &cb);
    std::string descriptor(cb, '\0');
    GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, &descriptor[0], cb, &cb);
    return descriptor;
}

// The file's creation time (with set, first sets it); zero when it cannot be had.
ULONGLONG CreationTime(const std::string& path, ULONGLONG set = 0) {
    FILETIME time = {static_cast<DWORD>(set), static_cast<DWORD>(set >> 32)};
    CFileHandle file(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, 0,
                                 nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file || (set != 0 && !SetFileTime(file.get(), &time, nullptr, nullptr)) ||
        !GetFileTime(file.get(), &time, nullptr, nullptr))
        time = FILETIME();
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Files the write-back leaves behind in the folder, other than the ones named.
std::vector<std::string> LeftoverFiles(const test::CTempFolder& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    CFindHandle find(FindFirstFileA(folder.File("~trv*").c_str(), &data));
    for (bool more = static_cast<bool>(find); more; more = FindNextFileA(find.get(), &data))
        names.push_back(data.cFileName);
    return names;
}

ULONGLONG FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Sets the file's size (padding it with NULs).
bool SetFileSize(const std::string& path, LONGLONG size) {
    CFileHandle file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER at;
    at.QuadPart = size;
    return file && SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) &&
           SetEndOfFile(file.get());
}

// The file's first cb bytes (fewer when it is shorter or cannot be read).
std::string ReadHead(const std::string& path, size_t cb) {
    std::string head(cb, '\0');
    DWORD cbRead = 0;
    CFileHandle file(
        CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (file)
        ReadFile(file.get(), &head[0], static_cast<DWORD>(cb), &cbRead, nullptr);
    return head.substr(0, cbRead);
}

class TranslatePath : public ::testing::Test {
protected:
    DWORD Run(const std::string& args) {
        test::RunResult result = test::RunTorvane(m_folder, args, 120000);
        EXPECT_TRUE(result.finished) << args;
        return result.exitCode;
    }
    // Runs ended at many points while they rewrite the script oldText.
    void EndRunsOf(const std::string& oldText);

    test::CProgramFolder m_folder{"translatepath"};
};

TEST_F(TranslatePath, RewritesTheFileInPlaceUnderItsOwnName) {
    const struct {
        std::string name, args, oldText, newText;
    } rows[] = {{"Setup.reg", "TRANSLATEPATH setup.reg", test::WorkedExampleInput(),
                 test::WorkedExampleOutput()},
                {"scan settings.reg", "translatepath scan settings.reg",
                 "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\S]\r\n"
                 "\"Driver\"=\"[WINDIR]System32\\drv.dll\"\r\n",
                 "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\S]\r\n\"Driver\"=\"" +
                     test::ShortWindowsFolder() + "\\System32\\drv.dll\"\r\n"},
                // For a reader of the text as it stands, never a registry editor: no header line,
                // the folder as raw text (docs/regscript.md, "Who reads the rewritten file").
                {"reader.reg", "TRANSLATEPATH reader.reg",
                 "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\X]\r\n"
                 "\"a\"=\"[WINDIR]\\\\System32\\\\x.dll\"\r\n\"b\"=\"[WINDIR]Temp\"\r\n",
                 "\r\n[HKEY_CURRENT_USER\\Software\\X]\r\n\"b\"=\"" + test::ShortWindowsFolder() +
                     "\\Temp\"\r\n\"a\"=\"" + test::ShortWindowsFolder() +
                     "\\\\\\System32\\\\x.dll\"\r\n"}};
    for (const auto& row : rows) {
        const std::string path = m_folder.File(row.name);
        ASSERT_TRUE(test::WriteFileBytes(path, row.oldText));
        EXPECT_EQ(0u, Run(row.args));
        EXPECT_EQ(row.newText, test::ReadFileBytes(path)) << row.name;
        EXPECT_EQ(std::vector<std::string>{}, LeftoverFiles(m_folder)) << row.name;
        WIN32_FIND_DATAA data;
        ASSERT_TRUE(CFindHandle(FindFirstFileA(path.c_str(), &data))) << row.name;
        EXPECT_EQ(row.name, data.cFileName) << "the file keeps its name";
    }
}

TEST_F(TranslatePath, FilesFromWhichNothingIsTakenKeepEveryByte) {
    static const char BINARY[] = "[HKEY_LOCAL_MACHINE\\A]\r\n\"a\"=\"\0\x01\x02\"\r\n";
    const std::string windir = "[HKEY_LOCAL_MACHINE\\A]\r\n\"a\"=\"[windir]x\"\r\n";
    std::string bigEndian = "\xFE\xFF";
    for (char c : windir)
        bigEndian += std::string(1, '\0') + c;
    // 8-bit text that starts with the two characters FF FE reads as UTF-16 without a value.
    const std::string ffFe = "\xFF\xFE" + windir + ";";
    ASSERT_EQ(0u, ffFe.size() % 2) << "UTF-16 of an odd length is refused for that alone";
    // Left as they are; exit -1 when what is left holds "[WINDIR]".
    const struct {
        std::string name, bytes;
        DWORD exitCode;
    } files[] = {
        {"empty.reg", "", 0},
        {"preamble.reg", "REGEDIT4\r\n\r\n\"before\"=\"[WINDIR]x\"\r\n", 0},
        {"novalues.reg", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\r\n[HKEY_USERS\\B]\r\n", 0},
        {"binary.reg", std::string(BINARY, sizeof(BINARY) - 1), 0},
        {"nulbyte.reg", windir + std::string("\"b\"=\"\0\"\r\n", 8), EXIT_MINUS_ONE},
        {"ctrlz.reg", "\x1A" + windir, EXIT_MINUS_ONE},
        {"bigendian.reg", bigEndian, EXIT_MINUS_ONE},
        {"ff-fe-8-bit.reg", ffFe, EXIT_MINUS_ONE}};
    for (const auto& file : files) {
        const std::string path = m_folder.File(file.name);
        ASSERT_TRUE(test::WriteFileBytes(path, file.bytes));
        EXPECT_EQ(file.exitCode, Run("TRANSLATEPATH " + file.name)) << file.name;
        EXPECT_EQ(file.bytes, test::ReadFileBytes(path)) << file.name;
        EXPECT_TRUE(test::FileExists(path)) << file.name;
    }
    EXPECT_EQ(std::vector<std::string>{}, LeftoverFiles(m_folder));
}

TEST_F(TranslatePath, MarkedUtf8KeepsItsMarkAndTheFileWhatItHad) {
    const std::string path = m_folder.File("utf8.reg");
    ASSERT_TRUE(test::WriteFileBytes(path, "\xEF\xBB\xBFREGEDIT4\r\n\r\n[HKEY_USERS\\S]\r\n"
                                           "\"\xC3\xA9\"=\"[WINDIR]x\"\r\n\0\0"));
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    const DWORD attributes = GetFileAttributesA(path.c_str());
    ASSERT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
              attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    // A DACL that lets everyone write, unlike the one a new file gets. (Wine keeps a DACL
    // as the file's mode bits, so the test takes one that they can hold.)
    const std::string fresh = Dacl(path);
    PSECURITY_DESCRIPTOR pDescriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
        "D:(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;WD)", SDDL_REVISION_1, &pDescriptor, nullptr));
    ASSERT_TRUE(SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, pDescriptor));
    LocalFree(pDescriptor);
    const std::string dacl = Dacl(path);
    ASSERT_NE(fresh, dacl);
    // A creation time long past and a stream beside the text, both to be kept. Wine shows
    // neither: it reports a file's last-write time as its creation time and lists no streams (a
    // "file:stream" name is a file of its own there). The diagnostics test shows that the
    // creation time is given on under Wine too.
    const ULONGLONG past = 0x01C08D967DB50500ull; // 2001-02-03
    const bool keepsCreation = CreationTime(path, past) == past;
    const std::string stream = path + ":Zone.Identifier";
    ASSERT_TRUE(test::WriteFileBytes(stream, "ZoneId=3"));
    WIN32_FIND_STREAM_DATA data;
    HANDLE streams = FindFirstStreamW(test::Wide(path).c_str(), FindStreamInfoStandard, &data, 0);
    const bool listsStreams = streams != INVALID_HANDLE_VALUE && FindNextStreamW(streams, &data);
    if (streams != INVALID_HANDLE_VALUE)
        FindClose(streams);

    EXPECT_EQ(0u, Run("TRANSLATEPATH utf8.reg"));
    EXPECT_EQ("\xEF\xBB\xBF\r\n[HKEY_USERS\\S]\r\n\"\xC3\xA9\"=\"" + test::ShortWindowsFolder() +
                  "\\x\"\r\n",
              test::ReadFileBytes(path));
    EXPECT_EQ(attributes, GetFileAttributesA(path.c_str()));
    EXPECT_EQ(dacl, Dacl(path));
    if (keepsCreation) {
        EXPECT_EQ(past, CreationTime(path));
    }
    if (listsStreams) {
        EXPECT_EQ("ZoneId=3", test::ReadFileBytes(stream));
    }

    // A file with a second hard link is refused: replaced, the link would keep the old text.
    const std::string linked = m_folder.File("linked.reg");
    ASSERT_TRUE(test::WriteFileBytes(linked, test::WorkedExampleInput()));
    ASSERT_TRUE(CreateHardLinkA(m_folder.File("link.reg").c_str(), linked.c_str(), nullptr));
    EXPECT_EQ(EXIT_MINUS_ONE, Run("TRANSLATEPATH linked.reg"));
    EXPECT_EQ(test::WorkedExampleInput(), test::ReadFileBytes(linked));
}

TEST_F(TranslatePath, FileThatCannotBeOpenedOrWrittenExitsMinusOneAndStaysAsItWas) {
    // The script as each file's text, made read-only (not replaced, as it could not be opened
    // for writing) or padded with NULs to one byte over the largest file TRANSLATEPATH reads
    // (refused unread; one byte less would be rewritten).
    const std::string script = test::WorkedExampleInput();
    const struct {
        const char* name; // "": no argument, the program folder is no file
        DWORD attributes; // 0: no such file
        ULONGLONG size;
    } rows[] = {{"missing.reg", 0, 0},
                {"", 0, 0},
                {"readonly.reg", FILE_ATTRIBUTE_READONLY, script.size()},
                {"large.reg", FILE_ATTRIBUTE_NORMAL, INI_FILE_MAX + 1ULL}};
    for (const auto& row : rows) {
        const std::string path = m_folder.File(row.name);
        if (row.attributes != 0) {
            ASSERT_TRUE(test::WriteFileBytes(path, script));
            ASSERT_TRUE(SetFileSize(path, row.size)) << row.name;
            ASSERT_TRUE(SetFileAttributesA(path.c_str(), row.attributes)) << row.name;
        }
        EXPECT_EQ(EXIT_MINUS_ONE,
                  Run(*row.name ? "TRANSLATEPATH " + std::string(row.name) : "TRANSLATEPATH"))
            << row.name;
        if (row.attributes != 0) {
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            EXPECT_EQ(row.size, FileSize(path)) << row.name;
            EXPECT_EQ(script, ReadHead(path, script.size())) << row.name;
            DeleteFileA(path.c_str());
        } else if (*row.name) {
            EXPECT_FALSE(test::FileExists(path)) << row.name;
        }
    }
    EXPECT_EQ(std::vector<std::string>{}, LeftoverFiles(m_folder));
}

TEST_F(TranslatePath, FileHeldByAnotherProcessIsWaitedForWithinALimit) {
    // Held for 3 s: waited out. Held past the limit: exit -1 in bounded time, the file as it was.
    // (A file or folder that is a link is refused, not followed; a locked range is waited for
    // as a hold is. Wine 8 shows neither: its CreateSymbolicLinkW makes nothing, it reports no
    // reparse points, and its reads pass over another process's LockFile.)
    const struct {
        DWORD holdMs, exitCode;
        std::string text;
    } rows[] = {{3000, 0, test::WorkedExampleOutput()},
                {HELD_FILE_WAIT_MS + 15000, EXIT_MINUS_ONE, test::WorkedExampleInput()}};
    const std::string path = m_folder.File("held.reg");
    for (const auto& row : rows) {
        ASSERT_TRUE(test::WriteFileBytes(path, test::WorkedExampleInput()));
        test::CFileHold hold(path, row.holdMs);
        ASSERT_TRUE(hold.Held());
        const DWORD start = GetTickCount();
        EXPECT_EQ(row.exitCode, Run("TRANSLATEPATH held.reg")) << row.holdMs;
        EXPECT_LT(GetTickCount() - start, 45000u) << row.holdMs;
        EXPECT_EQ(row.text, test::ReadFileBytes(path)) << row.holdMs;
        EXPECT_EQ(std::vector<std::string>{}, LeftoverFiles(m_folder)) << row.holdMs;
    }
}

// --- Wine's regedit exports as input ---

std::wstring Wide(const std::string& ansi) {
    std::wstring wide(ansi.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &wide[0],
                                    static_cast<int>(wide.size())));
    return wide;
}

// What regedit makes of a string value's text: "\\" is one backslash, and a backslash before
// another character is dropped (the folder is put into values as it is, not escaped).
std::string RegeditUnescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i)
        out += (text[i] == '\\' && i + 1 < text.size()) ? text[++i] : text[i];
    return out;
}

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

    // Names outside the code page, through the wide API (the narrow one would make them "?").
    const std::wstring wideKey = Wide(base) + L"\\\u0416\u0443\u043A";
    const std::wstring wideName = L"\u0451\u0436";
    const std::wstring wideData = L"[WINDIR]\u0416";
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetKeyValueW(HKEY_CURRENT_USER, wideKey.c_str(), wideName.c_str(), REG_SZ,
                              wideData.c_str(), static_cast<DWORD>(wideData.size() * 2 + 2)));

    // Wine's regedit writes the "Version 5.00" form in UTF-16LE; it is rewritten in that form.
    const std::string exported = m_folder.File("export.reg");
    test::RunResult result =
        test::RunAndWait("regedit.exe /e \"" + exported + "\" \"HKEY_CURRENT_USER\\" + base + "\"");
    ASSERT_TRUE(result.finished);
    const std::string utf16 = test::ReadFileBytes(exported);
    ASSERT_GT(utf16.size(), 1000u);
    ASSERT_EQ("\xFF\xFE", utf16.substr(0, 2));
    EXPECT_EQ(0u, Run("TRANSLATEPATH export.reg"));
    const std::string rewritten16 = test::ReadFileBytes(exported);
    EXPECT_EQ(std::string("\xFF\xFE\r\0\n\0[\0", 8), rewritten16.substr(0, 8));
    EXPECT_NE(std::string::npos, ToAnsi(rewritten16)
                                     .find("\r\n\"Driver\"=\"" + test::ShortWindowsFolder() +
                                           "\\\\\\System32\\\\d.dll\"\r\n"));
    // Imported again (with the header line put back), the names outside the code page come
    // back whole, the value translated (regedit drops a backslash before an ordinary letter).
    const std::string header = "Windows Registry Editor Version 5.00";
    const std::string import16 = m_folder.File("import16.reg");
    ASSERT_TRUE(test::WriteFileBytes(import16, utf16.substr(0, 2 + 2 * header.size() + 4) +
                                                   rewritten16.substr(2)));
    test::DeleteKeyTree(HKEY_CURRENT_USER, base);
    ASSERT_FALSE(test::KeyExists(HKEY_CURRENT_USER, base));
    ASSERT_TRUE(test::RunAndWait("regedit.exe /s \"" + import16 + "\"").finished);
    wchar_t wideRead[MAX_PATH] = {};
    DWORD cbRead = sizeof(wideRead);
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_CURRENT_USER, wideKey.c_str(), wideName.c_str(),
                                          RRF_RT_REG_SZ, nullptr, wideRead, &cbRead));
    EXPECT_EQ(Wide(RegeditUnescape(test::ShortWindowsFolder())) + L"\u0416",
              std::wstring(wideRead));

    // The same export as 8-bit REGEDIT4 text (it holds no type whose data depends on the
    // form) is rewritten: the writer's layout, the values intact, "[WINDIR]" translated.
    std::string ansi = ToAnsi(utf16.substr(2));
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
    EXPECT_EQ(test::Sz(RegeditUnescape(test::ShortWindowsFolder() + "\\\\\\System32\\\\d.dll")),
              data)
        << "the translated value as regedit reads the written text";
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

std::string Hex(unsigned long n) {
    char sz[16];
    std::snprintf(sz, sizeof(sz), "%lx", n);
    return sz;
}

void TranslatePath::EndRunsOf(const std::string& oldText) {
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
    unsigned long nLastPid = 0;
    const std::string commandLine = "\"" + m_folder.Torvane() + "\" TRANSLATEPATH big.reg";
    for (int round = 0; round < 8; ++round) {
        ASSERT_TRUE(test::WriteFileBytes(path, oldText));
        CChild child;
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        std::vector<char> line(commandLine.begin(), commandLine.end());
        line.push_back('\0');
        ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &startup, &child.info));
        // The new file of this run (those of the runs ended before are still there).
        const std::string own = "~trv" + Hex(child.info.dwProcessId) + "_0.tmp";
        if (round < 4) {
            // While the new text is being written: when k/4 of it has been written (or the
            // old file has changed at all, as an in-place writer would change it).
            const ULONGLONG threshold = newText.size() * round / 4;
            for (;;) {
                const bool bOwn = test::FileExists(m_folder.File(own));
                if ((bOwn && FileSize(m_folder.File(own)) >= threshold) ||
                    FileSize(path) != oldText.size())
                    break;
                if (WaitForSingleObject(child.info.hProcess, 1) == WAIT_OBJECT_0)
                    break;
            }
            nWhileWriting += test::FileExists(m_folder.File(own));
        } else {
            // At points spread over the whole run, reading included.
            Sleep(fullRun * (round - 4) / 4);
        }
        TerminateProcess(child.info.hProcess, 99);
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child.info.hProcess, 30000));
        nLastPid = child.info.dwProcessId;

        const std::string now = test::ReadFileBytes(path);
        if (now == oldText)
            ++nOld;
        else if (now == newText)
            ++nNew;
        else
            ADD_FAILURE() << "round " << round << ": " << now.size() << " bytes, neither old ("
                          << oldText.size() << ") nor new (" << newText.size() << ")";
    }
    std::printf("ended runs: %d left the old file, %d the new one; %d ended while writing "
                "(a full run takes %lu ms)\n",
                nOld, nNew, nWhileWriting, fullRun);
    EXPECT_GE(nWhileWriting, 1) << "no run was ended while it wrote its new file";

    // The next run on the folder removes what ended runs left (here, a file named for the last
    // ended run), but not the file of a process that still runs (this one).
    const std::string ended = "~trv" + Hex(nLastPid) + "_3f.tmp";
    const std::string live = "~trv" + Hex(GetCurrentProcessId()) + "_3f.tmp";
    ASSERT_TRUE(test::WriteFileBytes(m_folder.File(ended), "x"));
    ASSERT_TRUE(test::WriteFileBytes(m_folder.File(live), "x"));
    ASSERT_TRUE(test::WriteFileBytes(path, oldText));
    ASSERT_EQ(0u, Run("TRANSLATEPATH big.reg"));
    EXPECT_EQ(newText, test::ReadFileBytes(path));
    EXPECT_EQ(std::vector<std::string>{live}, LeftoverFiles(m_folder));
    DeleteFileA(m_folder.File(live).c_str());
}

TEST_F(TranslatePath, RunEndedAtAnyPointLeavesTheOldFileOrTheNewOne) {
    EndRunsOf(BigScript(6 << 20));
    std::string utf16 = "\xFF\xFE"; // the ASCII text with a 0 after each byte
    for (char c : BigScript(3 << 20))
        utf16 += std::string(1, c) + '\0';
    EndRunsOf(utf16);
}

} // namespace
