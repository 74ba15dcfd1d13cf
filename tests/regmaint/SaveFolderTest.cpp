// SET_SAVE_FOLDER against Wine's registry and shell folders, end to end through Torvane.exe
// and in-process where the result must be seen. Product keys live below HKLM\SOFTWARE in the
// 32-bit view, which is Torvane's; in the 64-bit prefix that is HKLM\SOFTWARE\Wow6432Node in
// the 64-bit view.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>

#include "regmaint/RegMaint.h"
#include "support/TestSupport.h"

namespace {

const char* const DESTINATIONS[] = {"BCR",    "OCR",    "Copy", "Custom",
                                    "e-Mail", "Filing", "FTP",  "PDF"};
const char NAME_VALUE[] = "Varnel Name";

class SaveFolder : public ::testing::Test {
protected:
    std::string Destination(const std::string& name, const std::string& destination) {
        return m_product + "\\" + name + "\\" + destination + "\\Default\\Folder";
    }
    void MakeDestinations(const std::string& name, std::initializer_list<const char*> list,
                          REGSAM view = KEY_WOW64_32KEY) {
        for (const char* destination : list)
            ASSERT_TRUE(test::CreateKey(HKEY_LOCAL_MACHINE, Destination(name, destination), view));
    }
    // The value "1" of a destination, raw; "<none>" when it is not there.
    std::string Folder(const std::string& name, const std::string& destination,
                       DWORD* type = nullptr, REGSAM view = KEY_WOW64_32KEY) {
        DWORD valueType = 0;
        std::string bytes;
        if (!test::GetValue(HKEY_LOCAL_MACHINE, Destination(name, destination), "1", &valueType,
                            &bytes, view))
            return "<none>";
        if (type != nullptr)
            *type = valueType;
        return bytes;
    }
    // What a written value holds: the folder, a backslash, zeros up to 260 bytes.
    static std::string Expected(const std::string& folder) {
        std::string bytes = folder + "\\";
        bytes.resize(260, '\0');
        return bytes;
    }

    test::CScratchKey m_scratch{HKEY_LOCAL_MACHINE, "SOFTWARE", "TorvaneSave", KEY_WOW64_32KEY};
    const std::string m_product = m_scratch.Path() + "\\Product";
};

TEST_F(SaveFolder, ExistingDestinationsGetTheSharedDocumentsFolder) {
    const std::string shared = test::SpecialFolder(CSIDL_COMMON_DOCUMENTS);
    ASSERT_FALSE(shared.empty());
    ASSERT_TRUE(test::SetStringValue(HKEY_LOCAL_MACHINE, m_product, NAME_VALUE, "Scan Suite",
                                     KEY_WOW64_32KEY));
    MakeDestinations("Scan Suite", {"BCR", "Copy", "e-Mail", "PDF"});
    ASSERT_TRUE(test::CreateKey(HKEY_LOCAL_MACHINE, m_product + "\\Scan Suite\\OCR\\Default",
                                KEY_WOW64_32KEY));
    const std::string pdf = Destination("Scan Suite", "PDF");
    ASSERT_TRUE(test::SetStringValue(HKEY_LOCAL_MACHINE, pdf, "1", "D:\\old\\", KEY_WOW64_32KEY));
    ASSERT_TRUE(test::SetStringValue(HKEY_LOCAL_MACHINE, pdf, "2", "keep", KEY_WOW64_32KEY));
    // The same product key in the 64-bit view, with a name and a destination of its own.
    struct CDeleteIn64 {
        std::string path;
        ~CDeleteIn64() { test::DeleteKeyTree(HKEY_LOCAL_MACHINE, path, KEY_WOW64_64KEY); }
    } cleanup{m_scratch.Path()};
    ASSERT_TRUE(test::SetStringValue(HKEY_LOCAL_MACHINE, m_product, NAME_VALUE, "Scan Suite",
                                     KEY_WOW64_64KEY));
    MakeDestinations("Scan Suite", {"BCR"}, KEY_WOW64_64KEY);

    test::CProgramFolder folder("savefolder");
    test::RunResult result = test::RunTorvane(folder, "set_save_folder " + m_product);
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(0u, result.exitCode);

    for (const char* destination : {"BCR", "Copy", "e-Mail", "PDF"}) {
        DWORD type = 0;
        EXPECT_EQ(Expected(shared), Folder("Scan Suite", destination, &type)) << destination;
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), type) << destination;
    }
    for (const char* destination : {"OCR", "Custom", "Filing", "FTP"}) {
        EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, Destination("Scan Suite", destination),
                                     KEY_WOW64_32KEY))
            << destination << ": keys are never created";
    }
    DWORD type = 0;
    std::string other;
    ASSERT_TRUE(test::GetValue(HKEY_LOCAL_MACHINE, pdf, "2", &type, &other, KEY_WOW64_32KEY));
    EXPECT_EQ(test::Sz("keep"), other);

    // The same values seen from the 64-bit view, below Wow6432Node.
    const std::string redirected = "SOFTWARE\\Wow6432Node" + pdf.substr(8);
    ASSERT_TRUE(
        test::GetValue(HKEY_LOCAL_MACHINE, redirected, "1", &type, &other, KEY_WOW64_64KEY));
    EXPECT_EQ(Expected(shared), other);
    EXPECT_EQ("<none>", Folder("Scan Suite", "BCR", nullptr, KEY_WOW64_64KEY))
        << "the 64-bit view's own key of that name is out of Torvane's reach";
}

TEST_F(SaveFolder, MissingEmptyOrOverLongNameWritesNothing) {
    // Where an empty name could lead if it were used: "<key>\\BCR\..." read as "<key>\BCR".
    ASSERT_TRUE(test::CreateKey(HKEY_LOCAL_MACHINE, m_product + "\\BCR\\Default\\Folder"));
    EXPECT_EQ(-1, SetSaveFolder(HKEY_LOCAL_MACHINE, m_product.c_str())) << "no name value";

    ASSERT_TRUE(test::SetStringValue(HKEY_LOCAL_MACHINE, m_product, NAME_VALUE, ""));
    EXPECT_EQ(-1, SetSaveFolder(HKEY_LOCAL_MACHINE, m_product.c_str())) << "empty name";

    // Longer than the 260-byte buffer, and exactly 260 bytes without a NUL: both missing.
    ASSERT_TRUE(
        test::SetStringValue(HKEY_LOCAL_MACHINE, m_product, NAME_VALUE, std::string(300, 'N')));
    EXPECT_EQ(-1, SetSaveFolder(HKEY_LOCAL_MACHINE, m_product.c_str())) << "300 characters";
    ASSERT_TRUE(
        test::SetValue(HKEY_LOCAL_MACHINE, m_product, NAME_VALUE, REG_SZ, std::string(260, 'N')));
    EXPECT_EQ(-1, SetSaveFolder(HKEY_LOCAL_MACHINE, m_product.c_str())) << "260, no NUL";
    // 259 characters and the NUL fit: the name is used (no destination has that name).
    ASSERT_TRUE(
        test::SetStringValue(HKEY_LOCAL_MACHINE, m_product, NAME_VALUE, std::string(259, 'N')));
    EXPECT_EQ(0, SetSaveFolder(HKEY_LOCAL_MACHINE, m_product.c_str()));
    EXPECT_EQ(0, test::CountValues(HKEY_LOCAL_MACHINE, m_product + "\\BCR\\Default\\Folder"));

    // No argument, or a product key that does not exist: 0, nothing read or written.
    EXPECT_EQ(0, SetSaveFolder(HKEY_LOCAL_MACHINE, ""));
    EXPECT_EQ(0, SetSaveFolder(HKEY_LOCAL_MACHINE, (m_product + "\\Missing").c_str()));
}

TEST_F(SaveFolder, DestinationWhosePathDoesNotFitIsPassedOver) {
    // Product key and name chosen so that "<key>\<name>\BCR\Default\Folder" is 259 characters:
    // BCR, OCR, FTP and PDF fit exactly; Copy is one over; Custom, e-Mail and Filing more.
    const std::string name(120, 'n');
    const size_t cchKey = 259 - (1 + name.size() + 1 + strlen("BCR\\Default\\Folder"));
    const std::string longProduct =
        m_product + "\\" + std::string(cchKey - m_product.size() - 1, 'k');
    ASSERT_EQ(cchKey, longProduct.size());
    ASSERT_TRUE(test::SetStringValue(HKEY_LOCAL_MACHINE, longProduct, NAME_VALUE, name));
    for (const char* destination : DESTINATIONS) {
        test::BuildTree(HKEY_LOCAL_MACHINE,
                        longProduct + "\\" + name + "\\" + destination + "\\Default\\Folder", 0, 0,
                        0);
    }
    EXPECT_EQ(0, SetSaveFolder(HKEY_LOCAL_MACHINE, longProduct.c_str()));
    for (const char* destination : DESTINATIONS) {
        const std::string path =
            longProduct + "\\" + name + "\\" + destination + "\\Default\\Folder";
        DWORD type = 0;
        std::string bytes;
        ASSERT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, path)) << destination;
        const bool written = test::GetValue(HKEY_LOCAL_MACHINE, path, "1", &type, &bytes);
        EXPECT_EQ(path.size() <= 259, written) << destination << ": " << path.size();
    }
}

TEST_F(SaveFolder, KeysGrantingOnlyTheAccessUsedAreServed) {
    const std::string shared = test::SpecialFolder(CSIDL_COMMON_DOCUMENTS);
    ASSERT_FALSE(shared.empty());
    ASSERT_TRUE(test::SetStringValue(HKEY_LOCAL_MACHINE, m_product, NAME_VALUE, "Scan Suite"));
    MakeDestinations("Scan Suite", {"BCR"});
    // The product key grants reading, the destination setting a value, and nothing more.
    const std::string bcr = Destination("Scan Suite", "BCR");
    const struct {
        std::string path;
        const char* sddl;
    } locks[] = {{m_product, "D:P(A;;KR;;;WD)"}, {bcr, "D:P(A;;0x2;;;WD)"}};
    for (const auto& lock : locks) {
        ASSERT_TRUE(test::SetKeyDacl(HKEY_LOCAL_MACHINE, test::Wide(lock.path), lock.sddl));
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_ACCESS_DENIED,
                  RegOpenKeyExA(HKEY_LOCAL_MACHINE, lock.path.c_str(), 0, KEY_ALL_ACCESS, &key))
            << lock.path;
    }
    EXPECT_EQ(0, SetSaveFolder(HKEY_LOCAL_MACHINE, m_product.c_str()));
    ASSERT_TRUE(test::SetKeyDacl(HKEY_LOCAL_MACHINE, test::Wide(bcr), "D:(A;;KA;;;WD)"));
    EXPECT_EQ(Expected(shared), Folder("Scan Suite", "BCR"));
}

TEST_F(SaveFolder, WithoutSharedDocumentsTheUsersOwnDocumentsAreUsed) {
    const std::string personal = test::SpecialFolder(CSIDL_PERSONAL);
    ASSERT_FALSE(personal.empty());
    ASSERT_TRUE(test::SetStringValue(HKEY_LOCAL_MACHINE, m_product, NAME_VALUE, "Scan Suite"));
    MakeDestinations("Scan Suite", {"OCR", "FTP"});
    {
        // Shared documents pointing at a folder that does not exist: the shell has none.
        test::CValueOverride common(
            HKEY_LOCAL_MACHINE,
            "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
            "Common Documents", REG_EXPAND_SZ, test::Sz("C:\\no such folder\\Documents"), false,
            KEY_WOW64_32KEY);
        ASSERT_EQ("", test::SpecialFolder(CSIDL_COMMON_DOCUMENTS));
        test::CProgramFolder folder("savepersonal");
        ASSERT_TRUE(test::RunTorvane(folder, "SET_SAVE_FOLDER " + m_product).finished);
    }
    EXPECT_EQ(Expected(personal), Folder("Scan Suite", "OCR"));
    EXPECT_EQ(Expected(personal), Folder("Scan Suite", "FTP"));
    EXPECT_FALSE(test::SpecialFolder(CSIDL_COMMON_DOCUMENTS).empty()) << "put back";
}

} // namespace
