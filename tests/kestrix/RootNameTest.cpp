// RegGetKeyValueEx finds each of the five roots by its exact name. One of them is HKEY_USERS,
// whose hives the all-user tests change, so this test shares their lock.
#include <gtest/gtest.h>

#include <string>

#include "kestrix/KestrixTestSupport.h"
#include "support/TestSupport.h"

namespace {

TEST(KestrixRootNames, EachRootIsFoundByItsExactName) {
    ktest::CKestrix kestrix;
    ASSERT_TRUE(kestrix.Complete());
    const std::string name = test::UniqueName("KestrixRoot");
    struct {
        const char* rootName;
        HKEY root;
        std::string path;
    } roots[] = {
        {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT, name},
        {"HKEY_CURRENT_USER", HKEY_CURRENT_USER, "Software\\" + name},
        {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE, "SOFTWARE\\" + name},
        {"HKEY_USERS", HKEY_USERS, ".DEFAULT\\Software\\" + name},
        {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG, "Software\\" + name},
    };
    for (const auto& root : roots) {
        // Written where the export reads without the flag.
        test::CTestKey key(root.root, root.path, ktest::kDefaultView);
        ASSERT_TRUE(test::SetStringValue(root.root, root.path, "where", root.rootName,
                                         ktest::kDefaultView));
        char out[KESTRIX_VALUE_BUFFER_SIZE] = {};
        EXPECT_EQ(
            1, kestrix.pfnRegGetKeyValueEx(root.rootName, root.path.c_str(), "where", out, nullptr))
            << root.rootName;
        EXPECT_STREQ(root.rootName, out);
    }
}

} // namespace
