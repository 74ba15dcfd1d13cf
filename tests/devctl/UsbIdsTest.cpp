// USB hardware ids of an INF: the scan over text, and ReadUsbHardwareIds on crafted files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DriverFolder.h"
#include "devctl/DevCtr.h"
#include "devctl/UsbIds.h"
#include "support/TestSupport.h"

namespace {

std::vector<std::string> Ids(const CUsbIdTable& table) {
    std::vector<std::string> ids;
    for (unsigned int n = 0; n < table.Count(); ++n)
        ids.push_back(table.Id(n));
    return ids;
}

std::vector<std::string> Scan(const std::string& text) {
    CUsbIdTable table;
    EXPECT_EQ(1, ScanUsbHardwareIds(text.data(), text.size(), &table));
    return Ids(table);
}

std::string TextModeText(std::string bytes) {
    bytes.resize(ToTextModeCutAtZeroOrCtrlZ(&bytes[0], bytes.size()));
    return bytes;
}

using Strings = std::vector<std::string>;

const char ID_A[] = "USB\\VID_0F0E&PID_0142";
const char ID_B[] = "USB\\VID_0F0E&PID_0143";

TEST(UsbIdScan, IdNamedInSeveralSectionsOrWithAnInterfaceSuffixIsKeptOnce) {
    const std::string text = std::string("[Models.NTx86]\n%A%=Inst,") + ID_A + "\n%B%=Inst," +
                             ID_B + "&MI_00\n[Models.NTamd64]\n%A%=Inst," + ID_A +
                             "&MI_01\n%B%=Inst," + ID_B + "\n; " + ID_A + " again\n";
    EXPECT_EQ(Strings({ID_A, ID_B}), Scan(text));
}

TEST(UsbIdScan, OnlyTheExactUpperCasePrefixIsFound) {
    EXPECT_EQ(Strings(), Scan("usb\\vid_0f0e&pid_0142\nUSB\\Vid_0F0E&PID_0142\nUSB/VID_0F0E"));
    EXPECT_EQ(Strings({ID_A}), Scan(std::string("usb\\vid_0f0e&pid_0142,") + ID_A));
}

TEST(UsbIdScan, EachIdIsTheTwentyOneCharactersFromThePrefix) {
    EXPECT_EQ(Strings({"USB\\VID_1&PID_2,USB\\V"}), Scan("USB\\VID_1&PID_2,USB\\VID_3&PID_4"))
        << "the search goes on 22 characters after the start of an id";
    EXPECT_EQ(Strings({"USB\\VID_1&PID_2\nX,,,,", "USB\\VID_3&PID_4\nY"}),
              Scan("USB\\VID_1&PID_2\nX,,,,,USB\\VID_3&PID_4\nY"))
        << "the next id may start 22 characters after one";
    EXPECT_EQ(Strings({"USB\\VID_12"}), Scan("USB\\VID_12")) << "text that ends sooner";
    EXPECT_EQ(Strings({ID_A}), Scan(std::string(ID_A) + " USB\\VID_0F0E&PID_01"))
        << "a shorter candidate that an id holds already is no new id";
}

TEST(UsbIdScan, ZeroByteEndsTheSearch) {
    const std::string text = std::string(ID_A) + "\n" + std::string(1, '\0') + ID_B;
    EXPECT_EQ(Strings({ID_A}), Scan(text));
    std::string utf16;
    for (char c : std::string(ID_A))
        utf16 += std::string(1, c) + std::string(1, '\0');
    EXPECT_EQ(Strings(), Scan(utf16));
}

TEST(UsbIdScan, EveryDistinctIdIsKeptInFileOrderHoweverMany) {
    std::string text;
    Strings expected;
    for (int n = 0; n < 3000; ++n) {
        char id[32];
        wsprintfA(id, "USB\\VID_%04X&PID_%04X", 0x1000 + n % 50, n);
        expected.push_back(id);
        text += std::string("%M%=Inst,") + id + "\r\n";
    }
    text += text; // every id a second time
    EXPECT_EQ(expected, Scan(text));
}

TEST(UsbIdScan, TextModeReadDropsTheCrOfCrLfAndEndsAtZeroOrCtrlZ) {
    EXPECT_EQ("a\nb\rc\n\r", TextModeText("a\r\nb\rc\r\n\r"));
    EXPECT_EQ("abc", TextModeText(std::string("abc\0def", 7)));
    EXPECT_EQ("abc", TextModeText("abc\x1A"
                                  "def"));
    EXPECT_EQ("", TextModeText(""));
}

TEST(UsbIdTable, RefusesIdsLongerThanASlotAndMatchesShortCandidatesAsSubstrings) {
    CUsbIdTable table;
    EXPECT_EQ(0, table.Add("USB\\VID_0F0E&PID_0142&"));
    EXPECT_EQ(0u, table.Count());
    EXPECT_EQ(1, table.Add(ID_A));
    EXPECT_EQ(1, table.Contains(ID_A));
    EXPECT_EQ(1, table.Contains("USB\\VID_0F0E"));
    EXPECT_EQ(0, table.Contains(ID_B));
    EXPECT_EQ(0, table.Contains("USB\\VID_0F0F"));
    table.Clear();
    EXPECT_EQ(0u, table.Count());
    EXPECT_EQ(0, table.Contains(ID_A));
}

class UsbIdFile : public ::testing::Test {
protected:
    Strings Read(const std::string& bytes, int expectedResult = 1) {
        const std::string path = m_folder.File("driver.inf");
        EXPECT_TRUE(test::WriteFileBytes(path, bytes));
        CUsbIdTable table;
        EXPECT_EQ(expectedResult, ReadUsbHardwareIds(path.c_str(), &table));
        return Ids(table);
    }

    test::CTempFolder m_folder{"usbids"};
};

TEST_F(UsbIdFile, BundledSampleHoldsTwoDevices) {
    CUsbIdTable table;
    const std::string path = test::SourceFile("samples/setup/scanner.inf");
    ASSERT_EQ(1, ReadUsbHardwareIds(path.c_str(), &table));
    EXPECT_EQ(Strings({devtest::SAMPLE_ID_1, devtest::SAMPLE_ID_2}), Ids(table));
}

TEST_F(UsbIdFile, MissingFileIsNotRead) {
    CUsbIdTable table;
    table.Add(ID_A);
    EXPECT_EQ(0, ReadUsbHardwareIds(m_folder.File("none.inf").c_str(), &table));
    EXPECT_EQ(0u, table.Count());
}

TEST_F(UsbIdFile, IdsPastTheFirstHundredThousandBytesAreFound) {
    std::string bytes = "; " + std::string(150000, 'x') + "\r\n";
    bytes += std::string("%A%=Inst,") + ID_A + "\r\n";
    bytes += "; " + std::string(2000000, 'y') + "\r\n" + ID_B + "\r\n";
    EXPECT_EQ(Strings({ID_A, ID_B}), Read(bytes));

    // Up to the largest INF read (an id, then zero bytes); one byte more is refused unread.
    const std::string path = m_folder.File("large.inf");
    for (LONGLONG size : {LONGLONG(INF_FILE_MAX), INF_FILE_MAX + 1LL}) {
        ASSERT_TRUE(test::WriteFileBytes(path, std::string(ID_A) + "\r\n"));
        CFileHandle file(
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        LARGE_INTEGER end;
        end.QuadPart = size;
        ASSERT_TRUE(SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) &&
                    SetEndOfFile(file.get()));
        file.reset();
        CUsbIdTable table;
        EXPECT_EQ(size == INF_FILE_MAX ? 1 : 0, ReadUsbHardwareIds(path.c_str(), &table)) << size;
        EXPECT_EQ(size == INF_FILE_MAX ? Strings({ID_A}) : Strings(), Ids(table)) << size;
    }
}

TEST_F(UsbIdFile, CrLfAndLfFilesGiveTheSameIds) {
    // A short id runs into the line end: the text-mode read sees LF where the file has CR LF.
    EXPECT_EQ(Strings({"USB\\VID_1&PID_2\nUSB\\V"}), Read("USB\\VID_1&PID_2\r\nUSB\\VID_3"));
    EXPECT_EQ(Strings({"USB\\VID_1&PID_2\nUSB\\V"}), Read("USB\\VID_1&PID_2\nUSB\\VID_3"));
}

TEST_F(UsbIdFile, Utf16FileIsReadButYieldsNoIds) {
    std::string bytes = "\xFF\xFE";
    for (char c : std::string("[Models]\r\n%A%=Inst,") + ID_A + "\r\n")
        bytes += std::string(1, c) + std::string(1, '\0');
    EXPECT_EQ(Strings(), Read(bytes));
    EXPECT_EQ(Strings(), Read(""));
}

TEST_F(UsbIdFile, CtrlZEndsTheFileAsForATextModeRead) {
    EXPECT_EQ(Strings({ID_A}), Read(std::string(ID_A) + "\r\n\x1A" + ID_B));
}

} // namespace
