// The readers on hostile input, natively under AddressSanitizer and UndefinedBehaviorSanitizer:
// limits at and just past every buffer, lines of megabytes, CR-only line ends, NUL bytes and
// UTF-16 text, deep and wide key trees, and the registry-script round trip.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <tuple>
#include <vector>

#include "devctl/CommandText.h"
#include "devctl/PlatformCode.h"
#include "devctl/UsbIds.h"
#include "regscript/IniFile.h"
#include "tests/regscript/IniFileAccess.h"
#include "tests/fuzz/NativePlatform.h"

namespace {

// --- Registry scripts ---

std::string Write(const CIniFile& file) {
    std::string out;
    const tagTextSink sink = {&out, [](void* p, const char* pBytes, size_t cb) {
                                  static_cast<std::string*>(p)->append(pBytes, cb);
                                  return 1;
                              }};
    EXPECT_EQ(1, file.WriteTree(sink));
    return out;
}

std::string Rewrite(const std::string& text, long* pnTaken = nullptr) {
    CIniFile file(&native::TextPlatform());
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    const long nTaken = file.LoadText(buffer.data(), text.size());
    if (pnTaken != nullptr)
        *pnTaken = nTaken;
    EXPECT_NE(LOAD_INCOMPLETE, CIniFileTestAccess::LoadState(file));
    return Write(file);
}

TEST(NativeRegScript, RewriteOfTheRewriteKeepsEveryLine) {
    const std::string input = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Scanner]\r\n"
                              "\"Path\"=\"[WINDIR]\\twain_32\"\r\n\"Open\"=\"[WINDIR]\r\n"
                              "\"Next\"=\"kept\"\r\n[HKEY_CURRENT_USER\\S]\r\n@=\"d\"\r\n";
    long nTaken = 0;
    const std::string once = Rewrite(input, &nTaken);
    EXPECT_EQ(4, nTaken);
    // A value without a tail keeps its placeholder: translated, it would end in a backslash
    // and swallow the next line when the written file is read again.
    EXPECT_NE(std::string::npos, once.find("\"Open\"=\"[WINDIR]\r\n"));
    EXPECT_NE(std::string::npos, once.find("\"Path\"=\"C:\\WINDOWS\\\\twain_32\"\r\n"));
    long nTakenAgain = 0;
    const std::string twice = Rewrite(once, &nTakenAgain);
    EXPECT_EQ(4, nTakenAgain);
    EXPECT_EQ(once.size(), twice.size());
    EXPECT_NE(std::string::npos, twice.find("\"Next\"=\"kept\"\r\n"));
}

TEST(NativeRegScript, JoinedLineThatWouldNotReadBackAsItselfIsNoValue) {
    long nTaken = 0;
    const std::string once =
        Rewrite("[HKEY_USERS\\K]\n[name=x\\\ny]\na=bc\\\n\n\"after\"=\"1\"\n", &nTaken);
    EXPECT_EQ(1, nTaken);
    EXPECT_EQ("\r\n[HKEY_USERS\\K]\r\n\"after\"=\"1\"\r\n", once);
}

TEST(NativeRegScript, RootOfAOneOrTwoCharacterNameTakesNoValues) {
    long nTaken = 0;
    const std::string once =
        Rewrite("[HKEY_USERS\\K]\n\"k\"=\"1\"\n[]ep]\n\"a\"=\"1\"\n[x\\y]\n\"b\"=\"2\"\n", &nTaken);
    EXPECT_EQ(2, nTaken);
    EXPECT_EQ(once, Rewrite(once));
}

TEST(NativeRegScript, MegabyteLinesAreReadWhole) {
    const std::string big(4 * 1024 * 1024, 'x');
    const std::string out = Rewrite("[HKEY_USERS\\Big]\n\"v\"=\"" + big + "\"\n\"w\"=\"after\"\n[" +
                                    big + "]\n\"k\"=1\n");
    EXPECT_NE(std::string::npos, out.find("\"v\"=\"" + big + "\"\r\n"));
    EXPECT_NE(std::string::npos, out.find("\"w\"=\"after\"\r\n"));
    EXPECT_NE(std::string::npos, out.find("\r\n[" + big + "]\r\n\"k\"=1\r\n"));
}

TEST(NativeRegScript, CrOnlyLineEndsMakeOneLine) {
    long nTaken = -1;
    EXPECT_EQ("", Rewrite("REGEDIT4\r[HKEY_CLASSES_ROOT\\.scn]\r@=\"ScanFile\"\r", &nTaken));
    EXPECT_EQ(0, nTaken);
}

TEST(NativeRegScript, BinaryUtf16AndNulTextContributeNothing) {
    std::string utf16;
    for (char c : std::string("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_USERS\\A]\r\n"
                              "\"a\"=\"1\"\r\n")) {
        utf16 += c;
        utf16 += '\0';
    }
    long nTaken = -1;
    EXPECT_EQ(std::string("\xFF\xFE\r\0\n\0[\0", 8),
              Rewrite("\xFF\xFE" + utf16, &nTaken).substr(0, 8));
    EXPECT_EQ(1, nTaken) << "UTF-16 with its byte-order mark is read";
    EXPECT_EQ("", Rewrite(utf16, &nTaken)) << "UTF-16 without its byte-order mark";
    EXPECT_EQ(0, nTaken);
    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary += static_cast<char>((i * 131) & 0xFF);
    EXPECT_EQ("", Rewrite(binary, &nTaken));
    EXPECT_EQ(0, nTaken);
}

TEST(NativeRegScript, DeepAndWideKeyTrees) {
    // 20000 levels: built, written and taken apart without recursion.
    std::string path = "HKEY_LOCAL_MACHINE";
    for (int i = 0; i < 20000; ++i)
        path += "\\k";
    const std::string deep = Rewrite("[" + path + "]\n\"v\"=\"1\"\n");
    EXPECT_EQ("\r\n[" + path + "]\r\n\"v\"=\"1\"\r\n", deep);

    // 20000 siblings, found again through the name index with any letter case.
    std::string wide;
    for (int i = 0; i < 20000; ++i)
        wide += "[HKEY_USERS\\S" + std::to_string(i) + "]\n\"v\"=\"" + std::to_string(i) + "\"\n";
    wide += "[hkey_users\\s123]\n\"w\"=\"again\"\n";
    long nTaken = 0;
    const std::string out = Rewrite(wide, &nTaken);
    EXPECT_EQ(20001, nTaken);
    EXPECT_NE(std::string::npos,
              out.find("[HKEY_USERS\\S123]\r\n\"w\"=\"again\"\r\n\"v\"=\"123\""));

    // Section lines that repeat the path of the line before reuse the keys it led to: the name
    // comparison and the hash run at most once per line, not once per component.
    static long s_nCalls = 0;
    tagTextPlatform counting = native::TextPlatform();
    counting.pfnCompareNoCase = [](void* p, const char* a, const char* b) {
        ++s_nCalls;
        return native::CompareNoCase(p, a, b);
    };
    counting.pfnNameHash = [](void* p, const char* psz, unsigned* pnHash) {
        ++s_nCalls;
        return native::NameHash(p, psz, pnHash);
    };
    std::string repeated;
    for (int i = 0; i < 2000; ++i) {
        const std::string key =
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product\\Keys\\K" + std::to_string(i);
        repeated += key + "]\n\"v\"=\"1\"\n" + key + "\\Sub]\n\"w\"=\"2\"\n";
    }
    CIniFile file(&counting);
    std::vector<char> buffer(repeated.begin(), repeated.end());
    buffer.push_back('\0');
    EXPECT_EQ(4000, file.LoadText(buffer.data(), repeated.size()));
    EXPECT_LE(s_nCalls, 4000);
}

// --- Scan settings ---

typedef std::tuple<std::string, std::string, std::string> ScanWrite;

std::vector<ScanWrite> TranslateScan(const std::string& text) {
    std::vector<ScanWrite> writes;
    const tagScanAdvancePlatform platform = {
        &writes, native::CompareNoCase, native::WindowsFolder,
        [](void* p, const char* section, const char* key, const char* value) {
            static_cast<std::vector<ScanWrite>*>(p)->emplace_back(section, key, value);
            return 1;
        }};
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    const int nWritten = TranslateScanAdvanceText(buffer.data(), text.size(), platform);
    EXPECT_EQ(static_cast<int>(writes.size()), nWritten < 0 ? 0 : nWritten);
    return writes;
}

TEST(NativeScanSettings, LimitsAtAndJustPastEveryBuffer) {
    const std::string folder = native::kWindowsFolder;
    const size_t room = SCAN_VALUE_MAX - folder.size() - 1;
    EXPECT_EQ((std::vector<ScanWrite>{{"S", "Fits", folder + "\\" + std::string(room, 't')}}),
              TranslateScan("[S]\nFits=[WINDIR]" + std::string(room, 't') + "\nOver=[WINDIR]" +
                            std::string(room + 1, 't') + "\n"));
    EXPECT_EQ((std::vector<ScanWrite>{{std::string(SCAN_SECTION_MAX, 's'), "K", folder + "\\1"}}),
              TranslateScan("[" + std::string(SCAN_SECTION_MAX, 's') + "]\nK=[WINDIR]1\n[" +
                            std::string(SCAN_SECTION_MAX + 1, 's') + "]\nK=[WINDIR]2\n"));
}

TEST(NativeScanSettings, HostileTextWritesNothingWrong) {
    const std::string folder = native::kWindowsFolder;
    // A megabyte line hides nothing and is no value of its own.
    EXPECT_EQ(
        (std::vector<ScanWrite>{{"S", "K", folder + "\\k"}}),
        TranslateScan("[S]\nNote=" + std::string(1 << 20, 'n') + "K=[WINDIR]x\nK=[WINDIR]k\n"));
    // CR-only line ends: one line, whose placeholder runs to its last "]": not translated.
    EXPECT_EQ(std::vector<ScanWrite>{}, TranslateScan("[S]\rK=[WINDIR]a\rL=[WINDIR]b\r"));
    EXPECT_EQ((std::vector<ScanWrite>{{"", "[S]\rK", folder + "\\a\r"}}),
              TranslateScan("[S]\rK=[WINDIR]a\r"));
    EXPECT_EQ((std::vector<ScanWrite>{{"S", "K", folder + "\\a"}}),
              TranslateScan(std::string("[S]\nK=[WINDIR]a\n\0", 17))); // padding
    EXPECT_EQ(std::vector<ScanWrite>{}, TranslateScan(std::string("[S]\nK=[WINDIR]a\0\n", 17)));
    EXPECT_EQ(std::vector<ScanWrite>{}, TranslateScan("\xFE\xFF[S]\nK=[WINDIR]a\n"));
}

// --- INF hardware ids ---

std::vector<std::string> ScanIds(std::string bytes) {
    bytes.push_back('\0');
    const size_t cch = ToTextModeCutAtZeroOrCtrlZ(&bytes[0], bytes.size() - 1);
    CUsbIdTable table;
    EXPECT_EQ(1, ScanUsbHardwareIds(bytes.data(), cch, &table));
    std::vector<std::string> ids;
    for (unsigned int n = 0; n < table.Count(); ++n)
        ids.push_back(table.Id(n));
    return ids;
}

TEST(NativeInfIds, HostileInfText) {
    // UTF-16: the prefix never stands as 8-bit text.
    std::string utf16;
    for (char c : std::string("%D%=I,USB\\VID_0F0E&PID_0110\r\n")) {
        utf16 += c;
        utf16 += '\0';
    }
    EXPECT_EQ(std::vector<std::string>{}, ScanIds("\xFF\xFE" + utf16));
    // An id cut by the end of the file is kept as far as it goes.
    EXPECT_EQ(std::vector<std::string>{"USB\\VID_0F0E&PID"}, ScanIds("x=USB\\VID_0F0E&PID"));
    // A megabyte line; CR-only line ends are ordinary bytes.
    EXPECT_EQ(
        (std::vector<std::string>{"USB\\VID_0001&PID_0002", "USB\\VID_0003&PID_0004"}),
        ScanIds(std::string(1 << 20, 'x') + "USB\\VID_0001&PID_0002\rUSB\\VID_0003&PID_0004\r"));
    // 50000 distinct ids: every one kept, in file order.
    std::string many;
    for (int i = 0; i < 50000; ++i) {
        char id[32];
        snprintf(id, sizeof(id), "USB\\VID_%04X&PID_%04X\n", i & 0xFFFF, (i * 7) & 0xFFFF);
        many += id;
    }
    const std::vector<std::string> ids = ScanIds(many);
    ASSERT_EQ(50000u, ids.size());
    EXPECT_EQ("USB\\VID_C34F&PID_5729", ids.back());
}

// --- Tool command lines and the platform code ---

TEST(NativeCommandText, NamesAtAndJustPastTheBuffer) {
    char out[16];
    memset(out, 'x', sizeof(out));
    EXPECT_EQ(1, BuildFilePath(out, 15, "C:\\FOLDR", "a.inf")); // 14 bytes and the NUL
    EXPECT_STREQ("C:\\FOLDR\\a.inf", out);
    EXPECT_EQ(0, BuildFilePath(out, 15, "C:\\FOLDR", "ab.inf"));
    EXPECT_STREQ("", out);
    EXPECT_EQ('x', out[15]);
    EXPECT_EQ(0, BuildFilePath(out, sizeof(out), "", "a.inf"));
    EXPECT_EQ(0, BuildRemoveCommand(out, sizeof(out), "C:\\P", "t", "a\"b"));
    char line[260];
    EXPECT_EQ(0, BuildUninstallCommand(line, sizeof(line), "C:\\P", "dpinst.exe", "x\".inf"));
    EXPECT_EQ(0, BuildToolCommand(line, sizeof(line), std::string(255, 'f').c_str(), "t.exe", ""));
}

TEST(NativePlatformCode, UnknownAndMalformedVersions) {
    EXPECT_EQ(PLATFORM_UNKNOWN, DecidePlatformCode(4, 0, nullptr, 0));
    EXPECT_EQ(PLATFORM_UNKNOWN, DecidePlatformCode(3, 51, "", 0));
    EXPECT_EQ(PLATFORM_WIN95_OSR2, DecidePlatformCode(4, 0, " B", 0));
    EXPECT_EQ(PLATFORM_NT6_64, DecidePlatformCode(10, 0, nullptr, 1));
}

} // namespace
