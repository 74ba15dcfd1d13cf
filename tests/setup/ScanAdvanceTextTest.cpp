// The line rules of TRANSLATESCANADVANCE, in-process, with the writes recorded.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <tuple>
#include <vector>

#include "setup/ScanAdvanceText.h"

namespace {

typedef std::tuple<std::string, std::string, std::string> Write; // section, key, value

struct Recorder {
    std::string folder = "C:\\windows";
    std::vector<Write> writes;
    int bWritesFail = 0;
};

std::vector<Write> Translate(const std::string& text, Recorder recorder = Recorder(),
                             int* pnResult = nullptr) {
    tagScanAdvancePlatform platform = {
        &recorder, [](void*, const char* a, const char* b) { return lstrcmpiA(a, b); },
        [](void* p, char* pszFolder, size_t cbFolder) {
            const std::string& folder = static_cast<Recorder*>(p)->folder;
            if (folder.empty() || folder.size() >= cbFolder)
                return 0;
            memcpy(pszFolder, folder.c_str(), folder.size() + 1);
            return 1;
        },
        [](void* p, const char* section, const char* key, const char* value) {
            static_cast<Recorder*>(p)->writes.emplace_back(section, key, value);
            return 1 - static_cast<Recorder*>(p)->bWritesFail;
        }};
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    const int nWritten = TranslateScanAdvanceText(buffer.data(), text.size(), platform);
    EXPECT_EQ(recorder.writes.size(), nWritten < 0 ? recorder.writes.size() : size_t(nWritten));
    if (pnResult != nullptr)
        *pnResult = nWritten;
    return recorder.writes;
}

TEST(ScanAdvanceRules, WindirValuesAreWrittenToTheirSection) {
    EXPECT_EQ((std::vector<Write>{{"", "Top", "C:\\windows\\Before"},
                                  {"Scan", "Folder", "C:\\windows\\Temp\\Scans"},
                                  {"Scan", "Lower", "C:\\windows\\\\Temp"},
                                  {"Scan", "Doubled", "C:\\windows\\x"},
                                  {"Scan", "Run", "C:\\windows\\y=z"},
                                  {"Scan", "Last", "C:\\windows\\"}}),
              Translate("Top=[WINDIR]Before\r\n"
                        "[Scan]\r\n"
                        "Folder=[WINDIR]Temp\\Scans\r\n"
                        "; a comment\r\n"
                        "\r\n"
                        "Other=plain\r\n"
                        "Lower=[windir]\\Temp\r\n"
                        "Doubled==[WINDIR]x\r\n" // a run of "=" is one separator
                        "Run===[WINDIR]y=z\r\n"
                        "Last=[WINDIR]"));
}

TEST(ScanAdvanceRules, LinesThatAreNotTranslated) {
    EXPECT_EQ(std::vector<Write>{},
              Translate("[Scan]\n"
                        "Spaced = [WINDIR]Temp\n"    // the value begins with a blank
                        "Bracket=[WINDIR]Scans[1]\n" // its last "]" closes [1]
                        "Other=[TEMP]Scans\n"
                        "Open=[WINDIR\n" // no "]": no placeholder end
                        "=[WINDIR]NoKey\n==[WINDIR]NoKey\n"));
    Recorder noFolder;
    noFolder.folder.clear();
    EXPECT_EQ(std::vector<Write>{}, Translate("[Scan]\nFolder=[WINDIR]x\n", noFolder));
}

TEST(ScanAdvanceRules, OtherPlaceholderKeepsTheSection) {
    EXPECT_EQ((std::vector<Write>{{"Scan", "B", "C:\\windows\\b"}}),
              Translate("[Scan]\nA=[TEMP]a\nB=[WINDIR]b\n"));
}

TEST(ScanAdvanceRules, SectionNames) {
    // Only the text before "=" counts, without its first byte and its last two.
    EXPECT_EQ((std::vector<Write>{{"", "K", "C:\\windows\\1"}}),
              Translate("[Scan]\n[A=B]\nK=[WINDIR]1\n"));
    EXPECT_EQ((std::vector<Write>{{"A", "K", "C:\\windows\\1"}, {"", "K", "C:\\windows\\2"}}),
              Translate("[A]\nK=[WINDIR]1\n[]\nK=[WINDIR]2\n"));
    // The line end is read as LF: CR LF and LF give the same name.
    EXPECT_EQ((std::vector<Write>{{"Scan", "K", "C:\\windows\\1"}}),
              Translate("[Scan]\r\nK=[WINDIR]1\r\n"));
    // A section name over 259 bytes is not cut: its values are not written anywhere.
    EXPECT_EQ((std::vector<Write>{{std::string(259, 's'), "K", "C:\\windows\\1"},
                                  {"Next", "K", "C:\\windows\\3"}}),
              Translate("[" + std::string(259, 's') + "]\nK=[WINDIR]1\n[" + std::string(260, 's') +
                        "]\nK=[WINDIR]2\n[Next]\nK=[WINDIR]3\n"));
}

TEST(ScanAdvanceRules, WholeValueTextIsKept) {
    EXPECT_EQ((std::vector<Write>{{"Scan", "Folder", "C:\\windows\\Temp=x"}}),
              Translate("[Scan]\nFolder=[WINDIR]Temp=x\n"));
}

TEST(ScanAdvanceRules, LongLinesAreReadWhole) {
    // A reader cutting at 9999 bytes would find "Stray=[WINDIR]Bad" as a line of its own.
    std::string line = "Note=" + std::string(9994, 'n');
    ASSERT_EQ(9999u, line.size());
    line += "Stray=[WINDIR]Bad\n";
    const std::string tail200(200, 't');
    EXPECT_EQ((std::vector<Write>{{"Scan", "Long", "C:\\windows\\" + tail200}}),
              Translate("[Scan]\n" + line + "Long=[WINDIR]" + tail200 + "\n"));
}

TEST(ScanAdvanceRules, ValuesThatWouldNotFitAreNotWritten) {
    const size_t room = 259 - std::string("C:\\windows\\").size();
    EXPECT_EQ((std::vector<Write>{{"S", "Fits", "C:\\windows\\" + std::string(room, 't')}}),
              Translate("[S]\nFits=[WINDIR]" + std::string(room, 't') + "\nOver=[WINDIR]" +
                        std::string(room + 1, 't') + "\nTail=[WINDIR]" + std::string(260, 't') +
                        "\n"));
}

TEST(ScanAdvanceRules, EncodingsAndStrayBytes) {
    const std::string lines = "[S]\nK=[WINDIR]a\n";
    const std::vector<Write> translated = {{"S", "K", "C:\\windows\\a"}};
    const struct {
        std::string text;
        int nResult;
    } cases[] = {
        {lines + std::string(3, '\0'), 1},          // NUL padding
        {lines + "\x1A", 1},                        // a Ctrl-Z that ends the text
        {lines + "\x1A" + std::string(2, '\0'), 1}, // both
        {std::string("[S]\nK=[WINDIR]a\0\n", 17), SCAN_TEXT_REFUSED},
        {lines + "\x1A\nL=x\n", SCAN_TEXT_REFUSED}, // text after a Ctrl-Z
        {"\xFF\xFE" + lines, SCAN_TEXT_REFUSED},    // byte-order marks
        {"\xFE\xFF" + lines, SCAN_TEXT_REFUSED},
        {"\xEF\xBB\xBF" + lines, SCAN_TEXT_REFUSED},
    };
    for (const auto& c : cases) {
        int nResult = 0;
        const std::vector<Write> writes = Translate(c.text, Recorder(), &nResult);
        EXPECT_EQ(c.nResult, nResult) << c.text;
        EXPECT_EQ(c.nResult > 0 ? translated : std::vector<Write>{}, writes) << c.text;
    }
}

TEST(ScanAdvanceRules, FailedWriteStopsThePass) {
    Recorder failing;
    failing.bWritesFail = 1;
    int nResult = 0;
    EXPECT_EQ((std::vector<Write>{{"", "A", "C:\\windows\\a"}}),
              Translate("A=[WINDIR]a\nB=[WINDIR]b\n", failing, &nResult));
    EXPECT_EQ(SCAN_WRITE_FAILED, nResult);
}

} // namespace
