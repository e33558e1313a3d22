// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "work_dir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "test_dir.h"

namespace {

class PrivateDir : public testing::Test {
protected:
    std::string refusal_of(const std::string& name, uid_t owner = ::geteuid()) {
        unique_fd dir;
        const dir_check check =
            open_private_dir(dir_.path(name).c_str(), owner, dir, step_mode::act);
        const bool trusted = check.trusted();
        EXPECT_EQ(static_cast<bool>(dir), trusted);
        return trusted ? "" : refusal_text(name.c_str(), check, owner);
    }
    static mode_t mode_of(const std::string& path) {
        struct stat status {};
        ::lstat(path.c_str(), &status);
        return status.st_mode & 07777;
    }
    test_dir dir_;
};

TEST_F(PrivateDir, OwnDirectoryIsOpenedAndMadeUnwritableByOthers) {
    ASSERT_EQ(::mkdir(dir_.path("open").c_str(), 0), 0);
    ASSERT_EQ(::chmod(dir_.path("open").c_str(), 01777), 0);
    EXPECT_EQ(refusal_of("open"), "");
    EXPECT_EQ(mode_of(dir_.path("open")), 01755U);
}

TEST_F(PrivateDir, EverythingElseIsRefusedWithItsReason) {
    ASSERT_EQ(::symlink(dir_.path().c_str(), dir_.path("link").c_str()), 0);
    dir_.write("file", "x");
    ASSERT_EQ(::mkdir(dir_.path("own").c_str(), 0), 0);
    ASSERT_EQ(::chmod(dir_.path("own").c_str(), 0777), 0);
    EXPECT_EQ(refusal_of("link"), "link is a symbolic link");
    EXPECT_EQ(refusal_of("file"), "file is not a directory");
    EXPECT_EQ(refusal_of("missing"), "missing: No such file or directory");
    const uid_t someone_else = ::geteuid() + 1;
    EXPECT_EQ(refusal_of("own", someone_else), "own is owned by uid " +
                                                   std::to_string(::geteuid()) + ", not by uid " +
                                                   std::to_string(someone_else));
    EXPECT_EQ(mode_of(dir_.path("own")), 0777U) << "a refused directory is left as it is";
}

TEST(DottedEntries, GoWhateverTheirNameOrTypeAndNothingElseDoes) {
    const test_dir dir;
    const test_dir outside;
    const std::string target = outside.write("target.csv", "kept");
    for (const char* name :
         {"-rf.csv", "line\nfeed.x", "*.*", "[a].?", "a.", "plain", ".hidden", ".dotted.too"}) {
        dir.write(name, "x");
    }
    ASSERT_EQ(::mkfifo(dir.path("fifo.p").c_str(), 0600), 0);
    ASSERT_EQ(::symlink(target.c_str(), dir.path("link.csv").c_str()), 0);
    for (const char* sub : {"tree.d", "tree.d/ro", "tree.d/ro/deeper"}) {
        ASSERT_EQ(::mkdir(dir.path(sub).c_str(), 0755), 0);
    }
    dir.write("tree.d/ro/deeper/file", "x");
    ASSERT_EQ(::chmod(dir.path("tree.d/ro/deeper").c_str(), 0500), 0);
    ASSERT_EQ(::chmod(dir.path("tree.d/ro").c_str(), 0500), 0);

    remove_dotted_entries(unique_fd(::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)),
                          dir.path().c_str(), step_mode::act);

    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        left.push_back(entry.path().filename());
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{".dotted.too", ".hidden", "plain"}));
    EXPECT_EQ(test_dir::read(target), "kept");
}

// Another user than root may not write a read-only directory of its own:
// the walk makes it writable to empty it, and --check foresees exactly
// that, with no complaint.
TEST(DottedEntries, ReadOnlyDirectoriesOfTheLaunchersUserGoToo) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "acting as another user needs root";
    }
    const test_dir dir;
    constexpr uid_t user = 65534;
    ASSERT_EQ(::mkdir(dir.path("ro.d").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(dir.path("ro.d/deeper").c_str(), 0755), 0);
    dir.write("ro.d/deeper/file", "x");
    for (const char* name : {"", "ro.d", "ro.d/deeper", "ro.d/deeper/file"}) {
        ASSERT_EQ(::lchown(dir.path(name).c_str(), user, user), 0);
    }
    ::chmod(dir.path("ro.d/deeper").c_str(), 0500);
    ::chmod(dir.path("ro.d").c_str(), 0500);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(user) != 0 || ::setuid(user) != 0) {
            ::_exit(2);
        }
        const auto walk = [&](step_mode mode) {
            const removal_result result = remove_dotted_entries(
                unique_fd(::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)),
                dir.path().c_str(), mode);
            return result.removed == 1 && result.kept.empty();
        };
        ::_exit(walk(step_mode::foresee) && walk(step_mode::act) ? 0 : 1);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_NE(::access(dir.path("ro.d").c_str(), F_OK), 0);
}

}  // namespace
