// The registry-script reader and writer on text, in-process, with the Windows services.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "regscript/IniFile.h"
#include "tests/regscript/IniFileAccess.h"
#include "tests/regscript/RegScriptTestSupport.h"

namespace {

using test::ShortWindowsFolder;

// Loads the text into a fresh tree and returns what the writer makes of it.
std::string Rewrite(const std::string& text, long* pnTaken = nullptr, int* pnLoad = nullptr) {
    CIniFile file;
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    const long nTaken = file.LoadText(buffer.data(), text.size());
    if (pnTaken != nullptr)
        *pnTaken = nTaken;
    if (pnLoad != nullptr)
        *pnLoad = CIniFileTestAccess::LoadState(file);
    std::string out;
    tagTextSink sink = {&out, [](void* p, const char* pBytes, size_t cb) {
                            static_cast<std::string*>(p)->append(pBytes, cb);
                            return 1;
                        }};
    EXPECT_EQ(1, file.WriteTree(sink));
    return out;
}

// The written form of one section.
std::string Section(const std::string& path, const std::vector<std::string>& values) {
    std::string text = "\r\n[" + path + "]\r\n";
    for (const std::string& value : values)
        text += value + "\r\n";
    return text;
}

const char HKLM_K[] = "[HKEY_LOCAL_MACHINE\\K]\n";

TEST(RegScriptWriter, WorkedExampleByteForByte) {
    EXPECT_EQ(test::WorkedExampleOutput(), Rewrite(test::WorkedExampleInput()));
    // Without CR: the same lines; the written form always ends its lines with CR LF.
    std::string lfOnly = test::WorkedExampleInput();
    for (size_t i; (i = lfOnly.find('\r')) != std::string::npos;)
        lfOnly.erase(i, 1);
    EXPECT_EQ(test::WorkedExampleOutput(), Rewrite(lfOnly));
}

TEST(RegScriptWriter, WhatIsAndIsNotWritten) {
    long nTaken = -1;
    EXPECT_EQ("", Rewrite("REGEDIT4\n\n\"before\"=\"any section\"\n", &nTaken));
    EXPECT_EQ(0, nTaken) << "values before the first section have no key";
    EXPECT_EQ("", Rewrite("[HKEY_LOCAL_MACHINE\\Empty]\n[HKEY_USERS\\Also\\Empty]\n"));

    // A value on a root key; a key without values whose sub-key has one.
    EXPECT_EQ(Section("HKEY_CURRENT_USER", {"\"v\"=\"1\""}) +
                  Section("HKEY_CLASSES_ROOT\\NoValues\\Child", {"\"w\"=\"2\""}),
              Rewrite("[HKEY_CLASSES_ROOT\\NoValues\\Child]\n\"w\"=\"2\"\n"
                      "[hkey_current_user]\n\"v\"=\"1\"\n"));

    // Roots in their fixed order, whatever the file's order; a root of an unknown name first,
    // as the newest root.
    EXPECT_EQ(Section("HKLM\\S", {"\"x\"=\"4\""}) +
                  Section("HKEY_CURRENT_CONFIG\\A", {"\"x\"=\"3\""}) +
                  Section("HKEY_USERS\\A", {"\"x\"=\"2\""}) +
                  Section("HKEY_CLASSES_ROOT\\A", {"\"x\"=\"1\""}),
              Rewrite("[HKEY_CLASSES_ROOT\\A]\n\"x\"=\"1\"\n[HKEY_USERS\\A]\n\"x\"=\"2\"\n"
                      "[HKEY_CURRENT_CONFIG\\A]\n\"x\"=\"3\"\n[HKLM\\S]\n\"x\"=\"4\"\n"));
}

TEST(RegScriptReader, SectionLineTest) {
    EXPECT_EQ(1, CIniFile::IsSectionLine("[HKEY_USERS]"));
    EXPECT_EQ(1, CIniFile::IsSectionLine("[]"));
    EXPECT_EQ(0, CIniFile::IsSectionLine("[HKEY_USERS] "));
    EXPECT_EQ(0, CIniFile::IsSectionLine(" [HKEY_USERS]"));
    EXPECT_EQ(0, CIniFile::IsSectionLine("["));
    EXPECT_EQ(0, CIniFile::IsSectionLine(""));
}

TEST(RegScriptReader, ShortLinesAndLinesThatAreNoValues) {
    EXPECT_EQ(Section("HKEY_LOCAL_MACHINE\\K", {"abc=d"}),
              Rewrite(std::string(HKLM_K) + "ab=c\n\n   \nabc=d\n"));
    // The short rule counts the LF: "abc=d" as the last line without LF has 5 bytes.
    EXPECT_EQ("", Rewrite(std::string(HKLM_K) + "abc=d"));
    EXPECT_EQ(Section("HKEY_LOCAL_MACHINE\\K", {"abcd=e"}),
              Rewrite(std::string(HKLM_K) + "abcd=e"));
    // CR LF arrives as LF before the rule is applied.
    EXPECT_EQ("", Rewrite(std::string(HKLM_K) + "ab=c\r\n"));

    // Lines without a name, without text, or without "=" are skipped without harm.
    EXPECT_EQ(Section("HKEY_LOCAL_MACHINE\\K", {"\"ok\"=\"1\""}),
              Rewrite(std::string(HKLM_K) +
                      "; a comment line\n\"noText\"=\n=\"noName\"\n\"ok\"=\"1\"\n"));
}

TEST(RegScriptReader, SectionLineMustEndWithItsBracket) {
    // With a blank after "]" the line is no section line: the value stays with the key before.
    EXPECT_EQ(
        Section("HKEY_LOCAL_MACHINE\\K", {"\"b\"=\"2\"", "\"a\"=\"1\""}),
        Rewrite(std::string(HKLM_K) + "\"a\"=\"1\"\n[HKEY_LOCAL_MACHINE\\Other] \n\"b\"=\"2\"\n"));
}

TEST(RegScriptReader, RepeatedSectionsAndNamesCollectInOneKeyNewestFirst) {
    EXPECT_EQ(Section("HKEY_LOCAL_MACHINE\\K",
                      {"\"c\"=\"3\"", "\"a\"=\"again\"", "\"b\"=\"2\"", "\"a\"=\"1\""}),
              Rewrite(std::string(HKLM_K) + "\"a\"=\"1\"\n\"b\"=\"2\"\n" +
                      "[hkey_local_machine\\k]\n\"a\"=\"again\"\n\"c\"=\"3\"\n"));
}

TEST(RegScriptReader, ContinuedHexValueBecomesOneLine) {
    const std::string input = std::string(HKLM_K) +
                              "\"bin\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,\\\n"
                              "  11,12,13,14,15,16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,\\\n"
                              "  25,26\n"
                              "\"next\"=\"x\"\n";
    EXPECT_EQ(Section("HKEY_LOCAL_MACHINE\\K",
                      {"\"next\"=\"x\"",
                       "\"bin\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,"
                       "14,15,16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26"}),
              Rewrite(input));
    // The line after a backslash is appended whatever it holds, a section line or a short
    // line included; the first line's own spaces stay.
    EXPECT_EQ(Section("HKEY_LOCAL_MACHINE\\K", {"\"a b\"=hex:01,[HKEY_USERS\\X]02"}),
              Rewrite(std::string(HKLM_K) + "\"a b\"=hex:01,\\\n[HKEY_USERS\\X]\\\n 0 2\n"));
    // At the end of the text every trailing backslash goes.
    EXPECT_EQ(Section("HKEY_LOCAL_MACHINE\\K", {"\"a\"=hex:01"}),
              Rewrite(std::string(HKLM_K) + "\"a\"=hex:01\\\\\\"));
}

TEST(RegScriptReader, JoinedLineThatWouldNotReadBackAsItselfIsNoValue) {
    // Joined, "[x=y]" would be written as a section line, and "a=bc" as a short line.
    EXPECT_EQ(Section("HKEY_LOCAL_MACHINE\\K", {"\"after\"=\"1\""}),
              Rewrite(std::string(HKLM_K) + "[name=x\\\ny]\na=bc\\\n\n\"after\"=\"1\"\n"));
}

TEST(RegScriptReader, RootOfAOneOrTwoCharacterNameTakesNoValues) {
    // "[ab]" would be written as a short line; a key below such a root is written whole.
    EXPECT_EQ(Section("abc", {"\"b\"=\"2\""}) + Section("ab\\c", {"\"c\"=\"3\""}) +
                  Section("HKEY_LOCAL_MACHINE\\K", {"\"k\"=\"1\""}),
              Rewrite(std::string(HKLM_K) +
                      "\"k\"=\"1\"\n[\\ab\\]\n\"a\"=\"1\"\n[abc]\n\"b\"=\"2\"\n"
                      "[ab\\c]\n\"c\"=\"3\"\n"));
}

TEST(RegScriptReader, LinesOfAnyLengthAreReadWhole) {
    // 50,000 bytes of value text, and a continued value over 20,000 bytes: nothing is split
    // into a value and a stray line.
    const std::string longText = "\"" + std::string(50000, 'x') + "\"";
    std::string hex;
    std::string joined;
    for (int i = 0; i < 4000; ++i) {
        hex += "  ab,cd,\\\n";
        joined += "ab,cd,";
    }
    EXPECT_EQ(
        Section("HKEY_LOCAL_MACHINE\\K", {"\"hex\"=hex:" + joined + "ef", "\"long\"=" + longText}),
        Rewrite(std::string(HKLM_K) + "\"long\"=" + longText + "\n\"hex\"=hex:\\\n" + hex +
                "  ef\n"));
}

TEST(RegScriptReader, SecondEqualsSignStaysInTheText) {
    EXPECT_EQ(Section("HKEY_LOCAL_MACHINE\\K", {"\"cmd\"=\"a=b=c\"", "\"na=me\"=\"x\""}),
              Rewrite(std::string(HKLM_K) + "\"na=me\"=\"x\"\n\"cmd\"=\"a=b=c\"\n"));
}

TEST(RegScriptReader, LongNamesAndPathsAreKeptWhole) {
    const std::string name(250, 'N');
    std::string path = "HKEY_CURRENT_USER";
    for (int i = 0; i < 40; ++i)
        path += "\\Component" + std::to_string(i);
    ASSERT_GT(path.size(), 400u);
    EXPECT_EQ(Section(path, {"\"" + name + "\"=\"v\""}),
              Rewrite("[" + path + "]\n\"" + name + "\"=\"v\"\n"));
}

TEST(RegScriptReader, WindirIsTranslatedToTheShortWindowsFolder) {
    const std::string folder = ShortWindowsFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(Section("HKEY_LOCAL_MACHINE\\K", {"\"lower\"=\"" + folder + "\\\\Temp\"",
                                                "\"upper\"=\"" + folder + "\\System32\\x.dll\""}),
              Rewrite(std::string(HKLM_K) + "\"upper\"=\"[WINDIR]System32\\x.dll\"\n" +
                      "\"lower\"=\"[windir]\\Temp\"\n"));
}

TEST(RegScriptReader, ValuesThatAreNotPlaceholderValuesStayAsTheyAre) {
    const std::vector<std::string> unchanged = {
        "\"noQuote\"=[WINDIR]System32",     // the text must start with a double quote
        "\"space\"= \"[WINDIR]System32\"",  // second byte is the quote, not "["
        "\"other\"=\"[TEMP]Scans\"",        // another bracketed word
        "\"bracket\"=\"[WINDIR]Scans[1]\"", // its last "]" closes [1]
        "\"open\"=\"[WINDIR\"",             // no "]" at all
        "\"nested\"=\"[[WINDIR]]x\"",
        // No tail: the folder's backslash would end the line and continue it when read back.
        "\"noTail\"=\"[WINDIR]"};
    std::string input = HKLM_K;
    std::vector<std::string> expected;
    for (const std::string& line : unchanged) {
        input += line + "\n";
        expected.insert(expected.begin(), line);
    }
    EXPECT_EQ(Section("HKEY_LOCAL_MACHINE\\K", expected), Rewrite(input));
}

TEST(RegScriptReader, TranslationThatWouldNotFitIsNotMade) {
    const std::string folder = ShortWindowsFolder();
    // Folder, backslash and tail (closing quote included) up to 259 bytes are translated.
    const size_t room = 259 - folder.size() - 1;
    const std::string fits = std::string(room - 1, 't') + "\"";
    const std::string tooLong = std::string(room, 't') + "\"";
    EXPECT_EQ(Section("HKEY_LOCAL_MACHINE\\K",
                      {"\"b\"=\"[WINDIR]" + tooLong, "\"a\"=\"" + folder + "\\" + fits}),
              Rewrite(std::string(HKLM_K) + "\"a\"=\"[WINDIR]" + fits + "\n\"b\"=\"[WINDIR]" +
                      tooLong + "\n"));
    const std::string tail260 = std::string(259, 't') + "\"";
    EXPECT_EQ(Section("HKEY_LOCAL_MACHINE\\K", {"\"c\"=\"[WINDIR]" + tail260}),
              Rewrite(std::string(HKLM_K) + "\"c\"=\"[WINDIR]" + tail260 + "\n"));
}

// UTF-16LE with its byte-order mark, from UTF-8 text.
std::string Utf16(const std::string& utf8) {
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                    &wide[0], static_cast<int>(wide.size())));
    return "\xFF\xFE" + std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
}

TEST(RegScriptReader, EncodingsAndStrayBytes) {
    const std::string k = "[HKEY_LOCAL_MACHINE\\K]\r\n\"a\"=\"[WINDIR]x\"\r\n";
    const std::string out =
        Section("HKEY_LOCAL_MACHINE\\K", {"\"a\"=\"" + ShortWindowsFolder() + "\\x\""});
    // Names outside the code page, compared as the registry compares them (Cyrillic Zhe in
    // both cases; U+0130 against "I" is not equal there). (Unpaired surrogates: fuzz corpus.)
    const std::string wide =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_USERS\\\xD0\x96\xC3\x84]\r\n\"\xE2\x82\xAC\"=\"[WINDIR]\xF0\x9F\x98\x80\"\r\n"
        "[hkey_users\\\xD0\xB6\xC3\xA4]\r\n\"b\"=\"1\"\r\n"
        "[HKEY_USERS\\\xC4\xB0]\r\n\"c\"=\"2\"\r\n[HKEY_USERS\\i]\r\n\"d\"=\"3\"\r\n";
    const struct {
        std::string in;
        std::string out; // empty: refused, nothing taken
    } cases[] = {
        {k + std::string(4, '\0'), out},            // NUL padding
        {k + "\x1A", out},                          // a Ctrl-Z that ends the text
        {"\xEF\xBB\xBF" + k, "\xEF\xBB\xBF" + out}, // UTF-8 keeps its mark
        {Utf16(k), Utf16(out)},
        {Utf16(k) + std::string(3, '\0'), Utf16(out)},
        {Utf16(wide), Utf16(Section("HKEY_USERS\\i", {"\"d\"=\"3\""}) +
                            Section("HKEY_USERS\\\xC4\xB0", {"\"c\"=\"2\""}) +
                            Section("HKEY_USERS\\\xD0\x96\xC3\x84",
                                    {"\"b\"=\"1\"", "\"\xE2\x82\xAC\"=\"" + ShortWindowsFolder() +
                                                        "\\\xF0\x9F\x98\x80\""}))},
        {k.substr(0, 26) + std::string(1, '\0') + k.substr(26), ""}, // a NUL inside
        {k + "\x1A\r\n", ""},                                        // text after a Ctrl-Z
        {"\xFE\xFF" + Utf16(k).substr(2), ""},                       // UTF-16 big-endian mark
        {Utf16(k) + "x", ""},                                        // half a unit
        {Utf16(k).substr(2), ""},                                    // UTF-16 without its mark
    };
    for (const auto& c : cases) {
        long nTaken = -1;
        int nLoad = -1;
        EXPECT_EQ(c.out, Rewrite(c.in, &nTaken, &nLoad)) << c.in;
        EXPECT_EQ(c.out.empty() ? LOAD_REFUSED_HOLDING_WINDIR : LOAD_WHOLE, nLoad) << c.in;
        EXPECT_EQ(c.out.empty(), nTaken == 0) << c.in;
    }
}

TEST(RegScriptReader, SecondRewriteReversesKeysAndValuesAgainButNotTheRoots) {
    const std::string input = "REGEDIT4\n"
                              "[HKEY_CURRENT_USER\\U]\n\"u\"=\"[WINDIR]\\u\"\n"
                              "[HKEY_LOCAL_MACHINE\\A]\n\"a1\"=\"1\"\n\"a2\"=\"2\"\n"
                              "[HKEY_LOCAL_MACHINE\\B]\n\"b1\"=\"1\"\n"
                              "[HKEY_LOCAL_MACHINE\\B\\X]\n\"x1\"=\"1\"\n"
                              "[HKEY_LOCAL_MACHINE\\B\\Y]\n\"y1\"=\"1\"\n";
    const std::string translated = "\"u\"=\"" + ShortWindowsFolder() + "\\\\u\"";
    const std::string once = Rewrite(input);
    EXPECT_EQ(Section("HKEY_LOCAL_MACHINE\\B", {"\"b1\"=\"1\""}) +
                  Section("HKEY_LOCAL_MACHINE\\B\\Y", {"\"y1\"=\"1\""}) +
                  Section("HKEY_LOCAL_MACHINE\\B\\X", {"\"x1\"=\"1\""}) +
                  Section("HKEY_LOCAL_MACHINE\\A", {"\"a2\"=\"2\"", "\"a1\"=\"1\""}) +
                  Section("HKEY_CURRENT_USER\\U", {translated}),
              once);
    const std::string twice = Rewrite(once);
    EXPECT_EQ(Section("HKEY_LOCAL_MACHINE\\A", {"\"a1\"=\"1\"", "\"a2\"=\"2\""}) +
                  Section("HKEY_LOCAL_MACHINE\\B", {"\"b1\"=\"1\""}) +
                  Section("HKEY_LOCAL_MACHINE\\B\\X", {"\"x1\"=\"1\""}) +
                  Section("HKEY_LOCAL_MACHINE\\B\\Y", {"\"y1\"=\"1\""}) +
                  Section("HKEY_CURRENT_USER\\U", {translated}),
              twice);
    EXPECT_EQ(once, Rewrite(twice));
}

} // namespace
