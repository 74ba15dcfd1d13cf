// Key paths joined in fixed buffers, as the registry commands join them.
#include <gtest/gtest.h>

#include <string>

#include "common/KeyPath.h"

namespace {

std::string Join(const std::string& a, const std::string& b, size_t cb = KEY_PATH_BUFFER_SIZE) {
    char buffer[KEY_PATH_BUFFER_SIZE + 8];
    memset(buffer, 'x', sizeof(buffer));
    const char* const parts[] = {a.c_str(), b.c_str()};
    if (!JoinKeyPath(buffer, cb, parts, 2)) {
        EXPECT_EQ('\0', buffer[0]) << "a refused join leaves the empty string";
        EXPECT_EQ('x', buffer[cb]) << "nothing written past the buffer";
        return "<refused>";
    }
    EXPECT_EQ('x', buffer[cb]) << "nothing written past the buffer";
    return buffer;
}

TEST(KeyPathJoin, JoinsWithOneBackslashAndRefusesWhatDoesNotFit) {
    EXPECT_EQ("S-1-5-21\\Software\\Vendor", Join("S-1-5-21", "Software\\Vendor"));
    const char* const three[] = {"Product", "Name", "BCR\\Default\\Folder"};
    char buffer[KEY_PATH_BUFFER_SIZE];
    ASSERT_EQ(1, JoinKeyPath(buffer, sizeof(buffer), three, 3));
    EXPECT_STREQ("Product\\Name\\BCR\\Default\\Folder", buffer);

    // 259 characters fit with the NUL; one more is refused, never cut.
    EXPECT_EQ(259u, Join(std::string(100, 'a'), std::string(158, 'b')).size());
    EXPECT_EQ("<refused>", Join(std::string(100, 'a'), std::string(159, 'b')));
    EXPECT_EQ("<refused>", Join(std::string(300, 'a'), "b"));
    EXPECT_EQ("<refused>", Join("ab", "cd", 5));
    EXPECT_EQ("ab\\c", Join("ab", "c", 5));

    const char* const withNull[] = {"a", nullptr};
    EXPECT_EQ(0, JoinKeyPath(buffer, sizeof(buffer), withNull, 2));
}

} // namespace
