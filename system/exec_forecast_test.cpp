// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "exec_forecast.h"

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "test_dir.h"

namespace {

// Another machine's program runs where a binfmt_misc handler takes its
// magic, and is refused where none does or binfmt_misc is off: a child sees
// handlers of the test's own, laid over /proc/sys/fs/binfmt_misc.
TEST(ExecForecast, AnotherMachinesProgramRunsWhereABinfmtMiscHandlerTakesIt) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "mounts need root";
    }
    const test_dir dir;
    std::string program = test_dir::read("/bin/true");
    program[18] = static_cast<char>(program[18] == 62 ? 183 : 62);  // x86_64, aarch64
    const std::string path = dir.write("foreign", program);
    ::chmod(path.c_str(), 0755);
    const std::string magic = "magic 7f454c46\nmask ffffffff\n";
    const struct {
        std::string status, entry;
        exec_forecast expected;
    } cases[] = {
        {"enabled\n",
         "enabled\ninterpreter /usr/bin/qemu\nflags: \noffset 0\n" + magic,
         {0, "elf"}},
        {"enabled\n", "disabled\ninterpreter /usr/bin/qemu\noffset 0\n" + magic, {ENOEXEC, ""}},
        {"disabled\n", "enabled\ninterpreter /usr/bin/qemu\noffset 0\n" + magic, {ENOEXEC, ""}},
        {"enabled\n", "enabled\ninterpreter /usr/bin/qemu\noffset 1\n" + magic, {ENOEXEC, ""}},
    };
    for (const auto& c : cases) {
        dir.write("status", c.status);
        dir.write("elf", c.entry);
        const pid_t child = ::fork();
        if (child == 0) {
            if (::unshare(CLONE_NEWNS) != 0 ||
                ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::mount(dir.path().c_str(), "/proc/sys/fs/binfmt_misc", nullptr, MS_BIND,
                        nullptr) != 0) {
                ::_exit(2);
            }
            const exec_forecast forecast = foresee_exec(path.c_str());
            ::_exit(forecast.error == c.expected.error && forecast.handler == c.expected.handler
                        ? 0
                        : 1);
        }
        int status = -1;
        ::waitpid(child, &status, 0);
        if (WEXITSTATUS(status) == 2) {
            GTEST_SKIP() << "no /proc/sys/fs/binfmt_misc to lay handlers over";
        }
        EXPECT_EQ(status, 0) << c.status << c.entry;
    }
}

}  // namespace
