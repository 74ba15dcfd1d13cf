// RegDelAllUserKeyEx against the profile list and the hives below HKEY_USERS. Besides the user's
// real hive, the tests add profile entries of their own: one whose hive is not loaded, one whose
// hive lacks the key, one whose key cannot be deleted, and one that holds the key. Their "hives"
// are keys made directly below HKEY_USERS.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "kestrix/KestrixTestSupport.h"
#include "support/TestSupport.h"

#include <sddl.h>

namespace {

class KestrixAllUsers : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_kestrix.Complete());
        m_sid = test::CurrentUserSid();
        ASSERT_FALSE(m_sid.empty());
        ASSERT_TRUE(test::KeyExists(HKEY_USERS, m_sid)) << "hive of " << m_sid << " not loaded";
        ASSERT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE,
                                    std::string(test::PROFILE_LIST) + "\\" + m_sid,
                                    ktest::kDefaultView));
    }

    // Adds a profile entry; with a hive, also a key of that name below HKEY_USERS.
    std::string AddProfile(const std::string& sid, bool withHive) {
        // In the view the export reads the profile list in.
        m_keys.emplace_back(new test::CTestKey(
            HKEY_LOCAL_MACHINE, std::string(test::PROFILE_LIST) + "\\" + sid, ktest::kDefaultView));
        if (withHive)
            m_keys.emplace_back(new test::CTestKey(HKEY_USERS, sid));
        return sid;
    }
    // Puts a small tree at path below HKEY_USERS, removed at the end of the test.
    void AddTree(const std::string& path) {
        m_cleanups.emplace_back(new test::CCleanup(HKEY_USERS, path));
        ASSERT_TRUE(test::SetStringValue(HKEY_USERS, path, "v", "data"));
        ASSERT_TRUE(test::SetStringValue(HKEY_USERS, path + "\\child\\grandchild", "v", "data"));
    }
    bool Exists(const std::string& path) const { return test::KeyExists(HKEY_USERS, path); }

    ktest::CKestrix m_kestrix;
    std::string m_sid;
    const std::string m_unique = test::UniqueName("k");
    std::vector<std::unique_ptr<test::CTestKey>> m_keys;
    std::vector<std::unique_ptr<test::CCleanup>> m_cleanups;
};

TEST_F(KestrixAllUsers, NullOrEmptyKeyPathIsRefused) {
    EXPECT_EQ(ERROR_BADKEY, m_kestrix.pfnRegDelAllUserKeyEx(nullptr));
    EXPECT_EQ(ERROR_BADKEY, m_kestrix.pfnRegDelAllUserKeyEx(""));
}

TEST_F(KestrixAllUsers, DeletesTheKeyFromEveryHiveThatHoldsItAndPassesOverTheRest) {
    const std::string key = "Software\\" + test::UniqueName("KestrixAllUsers");
    // Profile names sort before and after the real user's, so that failures come both before
    // and after a hive that holds the key.
    const std::string before = "S-1-5-21-0-0-0-0-" + m_unique;
    const std::string notLoaded = AddProfile(before + "-a", false);
    const std::string withoutKey = AddProfile(before + "-b", true);
    const std::string locked = AddProfile(before + "-c", true);
    const std::string holding = AddProfile(m_sid + "-" + m_unique, true);
    const std::string lockedAfter = AddProfile(m_sid + "-" + m_unique + "-z", true);

    for (const std::string& sid : {m_sid, locked, holding, lockedAfter})
        AddTree(sid + "\\" + key);
    // A subkey that refuses deletion makes the deletion fail in these hives.
    for (const std::string& sid : {locked, lockedAfter})
        ASSERT_TRUE(test::SetKeyDacl(HKEY_USERS, test::Wide(sid + "\\" + key + "\\child"),
                                     "D:P(A;;KR;;;WD)"));
    const std::string list =
        test::DumpTree(HKEY_LOCAL_MACHINE, test::Wide(test::PROFILE_LIST), ktest::kDefaultView);
    {
        // A caller that may not open the profile list with full access (an installer process
        // that is not elevated) gets the open's status, and no hive loses anything.
        test::CLockedKey lockedList(HKEY_LOCAL_MACHINE, test::PROFILE_LIST, ktest::kDefaultView);
        ASSERT_TRUE(lockedList.Locked());
        EXPECT_EQ(ERROR_ACCESS_DENIED, m_kestrix.pfnRegDelAllUserKeyEx(key.c_str()));
        for (const std::string& sid : {m_sid, holding})
            EXPECT_TRUE(Exists(sid + "\\" + key + "\\child\\grandchild")) << sid;
    }

    EXPECT_EQ(ERROR_NO_MORE_ITEMS, m_kestrix.pfnRegDelAllUserKeyEx(key.c_str()));

    EXPECT_FALSE(Exists(m_sid + "\\" + key));
    EXPECT_FALSE(Exists(holding + "\\" + key));
    EXPECT_TRUE(Exists(locked + "\\" + key + "\\child"));
    EXPECT_TRUE(Exists(lockedAfter + "\\" + key + "\\child"));
    EXPECT_TRUE(Exists(withoutKey));
    EXPECT_FALSE(Exists(notLoaded));
    // Only the named key goes: the hive's keys above it stay.
    EXPECT_TRUE(Exists(m_sid + "\\Software"));
    EXPECT_TRUE(Exists(holding + "\\Software"));
    EXPECT_EQ(list, test::DumpTree(HKEY_LOCAL_MACHINE, test::Wide(test::PROFILE_LIST),
                                   ktest::kDefaultView));
}

TEST_F(KestrixAllUsers, JoinedPathThatDoesNotFit260BytesIsPassedOverNotCut) {
    // "<sid>\<key>" with its NUL must fit 260 bytes: 259 characters do, 260 do not.
    const std::string base = "Software\\" + test::UniqueName("KestrixLong") + "\\";
    const size_t room = 259 - (m_sid.size() + 1) - base.size();
    ASSERT_LT(room, 255u);
    const std::string fits = base + std::string(room, 'f');
    const std::string tooLong = base + std::string(room + 1, 'g');
    // What a cut of the long path to 259 characters would name.
    const std::string cut = base + std::string(room, 'g');
    m_cleanups.emplace_back(new test::CCleanup(HKEY_USERS, m_sid + "\\" + base));
    for (const std::string& path : {fits, tooLong, cut})
        ASSERT_TRUE(test::CreateKey(HKEY_USERS, m_sid + "\\" + path));
    ASSERT_EQ(259u, m_sid.size() + 1 + fits.size());

    EXPECT_EQ(ERROR_NO_MORE_ITEMS, m_kestrix.pfnRegDelAllUserKeyEx(fits.c_str()));
    EXPECT_FALSE(Exists(m_sid + "\\" + fits));

    EXPECT_EQ(ERROR_NO_MORE_ITEMS, m_kestrix.pfnRegDelAllUserKeyEx(tooLong.c_str()));
    EXPECT_TRUE(Exists(m_sid + "\\" + tooLong));
    EXPECT_TRUE(Exists(m_sid + "\\" + cut));
}

} // namespace
