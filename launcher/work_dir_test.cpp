#include "work_dir.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "test_dir.h"

namespace {

class UntrustedDir : public testing::Test {
protected:
    static std::optional<std::string> reason(const std::string& path, uid_t owner = ::geteuid()) {
        return untrusted_dir_reason(path.c_str(), owner);
    }
    test_dir dir_;
};

TEST_F(UntrustedDir, OwnDirectoryIsTrusted) {
    EXPECT_EQ(reason(dir_.path()), std::nullopt);
}

TEST_F(UntrustedDir, EverythingElseIsRefusedWithItsReason) {
    ASSERT_EQ(::symlink(dir_.path().c_str(), dir_.path("link").c_str()), 0);
    dir_.write("file", "x");
    EXPECT_EQ(reason(dir_.path("link")), dir_.path("link") + " is a symbolic link");
    EXPECT_EQ(reason(dir_.path("file")), dir_.path("file") + " is not a directory");
    EXPECT_EQ(reason(dir_.path("missing")), dir_.path("missing") + ": No such file or directory");
    const uid_t someone_else = ::geteuid() + 1;
    EXPECT_EQ(reason(dir_.path(), someone_else), dir_.path() + " is owned by uid " +
                                                     std::to_string(::geteuid()) + ", not by uid " +
                                                     std::to_string(someone_else));
}

}  // namespace
