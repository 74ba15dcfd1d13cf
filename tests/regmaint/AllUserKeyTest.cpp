// DELETE_ALLUSER_PRODUCTKEY over Wine's real profile list and HKEY_USERS. The prefix's user
// (in Wine "S-1-5-21-0-0-0-1000") is listed and loaded; tests add profiles sorting before
// ("...-0...") and after ("...-9...") it. Keys below HKEY_USERS are not redirected: the 32-bit and
// 64-bit views show the same keys, and the tests check both.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "regmaint/RegMaint.h"
#include "support/TestSupport.h"

namespace {

using test::CProfileEntry;
using test::CurrentUserSid;
using test::CUserHive;
using test::TestSid;

bool InHive(const std::string& sid, const std::string& path, REGSAM view = 0) {
    return test::KeyExists(HKEY_USERS, sid + "\\" + path, view);
}

class AllUserKey : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE,
                                    std::string(test::PROFILE_LIST) + "\\" + CurrentUserSid()))
            << "the prefix's user is not in the profile list";
        ASSERT_TRUE(test::KeyExists(HKEY_USERS, CurrentUserSid())) << "its hive is not loaded";
    }
    void TearDown() override { test::DeleteKeyTree(HKEY_USERS, CurrentUserKey()); }

    // The product key's parent in the prefix user's hive, unique to this test.
    std::string CurrentUserKey() const { return CurrentUserSid() + "\\" + m_parent; }

    const std::string m_parent = "Software\\" + test::UniqueName("TorvaneAllUser");
    const std::string m_product = m_parent + "\\Product";
};

TEST_F(AllUserKey, EmptyPathIsBadKey) {
    EXPECT_EQ(ERROR_BADKEY, RegDelAllUserKey(nullptr));
    EXPECT_EQ(ERROR_BADKEY, RegDelAllUserKey(""));
}

TEST_F(AllUserKey, LoadedListedHivesLoseTheKeyAndEveryOtherHiveIsPassedOver) {
    CProfileEntry notLoaded(TestSid('0')); // listed, no hive under HKEY_USERS
    CUserHive withKey(TestSid('9'));
    CProfileEntry withKeyListed(withKey.Sid());
    CUserHive withoutKey(TestSid('9'));
    CProfileEntry withoutKeyListed(withoutKey.Sid());
    CUserHive notListed(TestSid('0')); // loaded, holds the key, but no profile of the list

    test::BuildTree(HKEY_USERS, CurrentUserKey() + "\\Product", 2, 2, 3, KEY_WOW64_64KEY);
    test::BuildTree(HKEY_USERS, withKey.Sid() + "\\" + m_product, 1, 2, 1);
    test::BuildTree(HKEY_USERS, withoutKey.Sid() + "\\" + m_parent + "\\Other", 0, 0, 1);
    test::BuildTree(HKEY_USERS, notListed.Sid() + "\\" + m_product, 0, 0, 1);
    ASSERT_TRUE(InHive(CurrentUserSid(), m_product + "\\K1\\K1", KEY_WOW64_32KEY))
        << "made in the 64-bit view, seen in the 32-bit view";

    test::CProgramFolder folder("alluser");
    test::RunResult result = test::RunTorvane(folder, "DELETE_ALLUSER_PRODUCTKEY " + m_product);
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(0u, result.exitCode);

    EXPECT_FALSE(InHive(CurrentUserSid(), m_product, KEY_WOW64_64KEY));
    EXPECT_FALSE(InHive(CurrentUserSid(), m_product, KEY_WOW64_32KEY));
    EXPECT_TRUE(InHive(CurrentUserSid(), m_parent)) << "the parent stays";
    EXPECT_FALSE(InHive(withKey.Sid(), m_product));
    EXPECT_TRUE(InHive(withoutKey.Sid(), m_parent + "\\Other"));
    EXPECT_TRUE(InHive(notListed.Sid(), m_product)) << "only listed profiles are walked";
}

TEST_F(AllUserKey, FailureUnderOneProfileDoesNotStopTheWalk) {
    CUserHive failing(TestSid('0')); // walked before the prefix's user
    CProfileEntry failingListed(failing.Sid());
    CUserHive after(TestSid('9'));
    CProfileEntry afterListed(after.Sid());
    for (const CUserHive* hive : {&failing, &after})
        test::BuildTree(HKEY_USERS, hive->Sid() + "\\" + m_product, 1, 2, 1);
    test::BuildTree(HKEY_USERS, CurrentUserKey() + "\\Product", 1, 2, 1);
    test::CLockedKey locked(HKEY_USERS, failing.Sid() + "\\" + m_product + "\\K1");
    ASSERT_TRUE(locked.Locked());
    {
        // A profile list this account may not open with full access: its status, nothing gone.
        test::CLockedKey lockedList(HKEY_LOCAL_MACHINE, test::PROFILE_LIST);
        ASSERT_TRUE(lockedList.Locked());
        EXPECT_EQ(ERROR_ACCESS_DENIED, RegDelAllUserKey(m_product.c_str()));
        EXPECT_TRUE(InHive(after.Sid(), m_product + "\\K0"));
        EXPECT_TRUE(InHive(CurrentUserSid(), m_product + "\\K0"));
    }

    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegDelAllUserKey(m_product.c_str())) << "a complete walk";
    EXPECT_FALSE(InHive(failing.Sid(), m_product + "\\K0"));
    EXPECT_TRUE(InHive(failing.Sid(), m_product + "\\K1"));
    EXPECT_FALSE(InHive(CurrentUserSid(), m_product));
    EXPECT_FALSE(InHive(after.Sid(), m_product));
}

TEST_F(AllUserKey, JoinedPathThatDoesNotFitIsPassedOverNotCut) {
    // In the prefix user's hive the joined path would need 260 characters; cut to 259 it would
    // name the sibling key "...AAA" without the last "B". A shorter profile name fits.
    const std::string shortSid = "S-1-5-21-9-" + std::to_string(GetCurrentProcessId() % 10000);
    CUserHive shortHive(shortSid);
    CProfileEntry shortListed(shortSid);
    const std::string prefix = m_parent + "\\";
    const size_t cchLast = 259 - (CurrentUserSid().size() + 1 + prefix.size());
    const std::string cut = prefix + std::string(cchLast, 'A');
    const std::string product = cut + "B";
    ASSERT_EQ(260u, CurrentUserSid().size() + 1 + product.size());
    ASSERT_LE(shortSid.size() + 1 + product.size(), 259u);
    for (const std::string& key : {product, cut})
        test::BuildTree(HKEY_USERS, CurrentUserKey() + key.substr(m_parent.size()), 0, 0, 1);
    test::BuildTree(HKEY_USERS, shortSid + "\\" + product, 1, 1, 1);

    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegDelAllUserKey(product.c_str()));
    EXPECT_TRUE(InHive(CurrentUserSid(), product)) << "refused in this hive";
    EXPECT_TRUE(InHive(CurrentUserSid(), cut)) << "the key a cut path would name";
    EXPECT_FALSE(InHive(shortSid, product)) << "the walk went on to the next profile";
}

TEST_F(AllUserKey, RegistryLinkBelowTheProductKeyGoesAndItsTargetStays) {
    // A link the user planted in their own hive, to another key of that hive.
    const std::string target = CurrentUserKey() + "\\Target";
    test::BuildTree(HKEY_USERS, target, 1, 2, 2);
    test::CRegLink link(HKEY_USERS, CurrentUserKey() + "\\Product\\Link", target);
    ASSERT_TRUE(link.Resolves());
    const std::string before = test::DumpTree(HKEY_USERS, test::Wide(target));
    test::CProgramFolder folder("alluserlink");
    test::RunResult result = test::RunTorvane(folder, "DELETE_ALLUSER_PRODUCTKEY " + m_product);
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_FALSE(InHive(CurrentUserSid(), m_product));
    EXPECT_EQ(before, test::DumpTree(HKEY_USERS, test::Wide(target)));
}

} // namespace
