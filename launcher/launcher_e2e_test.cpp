// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// End-to-end tests of the lwm2m-launcher program itself, at its fixed paths.
//
// The test process moves into a private mount namespace (as root, or as an
// unprivileged user through a user namespace) and mounts fresh tmpfs file
// systems over /opt, /tmp and /var for every test: the host's own files
// there are never seen or touched. A stand-in client script, installed where
// the real client would be, records how it was started. The launcher runs in
// a process group of its own, which the client stays in: once the launcher
// has ended, a process left in that group means a client was started.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/fs.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <sstream>
#include <thread>

#include "base64_test_codec.h"
#include "test_dir.h"

// LAUNCHER_PATH: the program under test. LAUNCHER_EMULATOR: the command that
// runs it when it is built for another machine, words separated by "|", or "".
// The environment variable LAUNCHER_RUN_UNDER, words separated by "|", names
// a tool to run it under, such as valgrind; LAUNCHER_WRAPPER a program that
// sets the launcher's conditions and execs it (testing/as_linux_4_4).

namespace {

using namespace std::string_literals;
using strings = std::vector<std::string>;

constexpr const char* launcher_copy = "/opt/e2e/lwm2m-launcher";
constexpr const char* client_path = "/opt/Quorvane/bin/lwm2mclient";
constexpr const char* settings_path = "/opt/Quorvane/etc/settings";
constexpr const char* log_path = "/tmp/lwm2m/lwm2m.log";
constexpr const char* csv_path = "/tmp/lwm2m/etc/config.csv";
constexpr const char* missing_csv_entry = "Can't find CSV config file in Plugwell\n";
constexpr const char* client_started = "/tmp/lwm2m/client-started";

// Records its argument vector (NUL-separated, $0 first), its standard
// input, its open descriptors and its ignored signals, then ends. find
// writes the descriptor list itself: a pipe or redirection set up by the
// shell could be open in the shell while find looks at it.
constexpr const char* stand_in_client = R"(#!/bin/sh
[ -e /proc/self ] || mount -t proc proc /proc
out=/opt/client
mkdir -p "$out.tmp"
printf '%s\0' "$0" "$@" > "$out.tmp/argv"
readlink /proc/$$/fd/0 > "$out.tmp/stdin"
find /proc/$$/fd -mindepth 1 -fprintf "$out.tmp/fds" '%f %l\n'
sed -n 's/^SigIgn:[[:space:]]*//p' /proc/$$/status > "$out.tmp/sigign"
printf '%s' "$PATH" > "$out.tmp/path"
echo $$ > "$out.tmp/pid"
umask > "$out.tmp/umask"
mv "$out.tmp" "$out"
)";

void write_file(const std::string& path, const std::string& contents, mode_t mode = 0644) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
    ::chmod(path.c_str(), mode);
}

bool exists(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

strings split(const std::string& text, char separator) {
    strings parts;
    std::string part;
    std::istringstream stream(text);
    while (std::getline(stream, part, separator)) {
        parts.push_back(part);
    }
    return parts;
}

// Set once for the whole run: why no test can run here, and the launcher's
// bytes, read before any mount can hide the build tree.
std::string no_sandbox_reason;
std::string launcher_image;
strings launcher_prefix;
std::string launcher_wrapper;
bool run_under_tool = false;

std::string enter_private_mount_namespace() {
    if (::unshare(CLONE_NEWNS) != 0) {
        const uid_t uid = ::getuid();
        const gid_t gid = ::getgid();
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
            return "no private mount namespace can be made here ("s + std::strerror(errno) + ")";
        }
        write_file("/proc/self/setgroups", "deny");
        write_file("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n");
        write_file("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n");
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        return "mounts can't be made private here ("s + std::strerror(errno) + ")";
    }
    return {};
}

struct run_result {
    int status = -1;  // exit status, or -1 when the launcher was killed
    int signal = 0;   // the signal that killed it
    std::string out;
    std::string err;
    pid_t pid = 0;
    bool ran_until_signalled = false;
};

struct client_record {
    strings argv;
    std::string stdin_target;
    strings descriptors;  // "N target", dash's own left out
    std::uint64_t ignored_signals = 0;
    std::string path_variable;
    std::string umask;
    pid_t pid = 0;
};

// How the launcher is started, where a test needs something unusual.
struct start_conditions {
    mode_t umask = 022;
    // Standard output and error: files, closed, or a pipe nobody reads.
    enum output_kind { files, closed, dead_pipe } output = files;
    // An extra descriptor the client must not inherit, and the limit of
    // descriptors (the hard one too, unless given); close_range can be made
    // to close only, as on Linux 5.9 and 5.10, or to be missing, as before,
    // and /proc can be hidden, as in early boot.
    int stray_fd = 9;
    rlim_t descriptor_limit = 0;
    rlim_t descriptor_hard_limit = 0;
    enum close_range_kind { present, closes_only, missing } close_range = present;
    bool without_proc = false;
    bool without_new_processes = false;  // clone fails with EAGAIN
    rlim_t address_space = 0;
    rlim_t stack_size = 0;
    std::optional<strings> environment = std::nullopt;  // default: this process's
    strings arguments = {};
    strings tool = {};                    // run around the launcher, for this run alone
    int ignored_signal = 0;               // ignored when the launcher starts
    bool ignored_signal_pending = false;  // and blocked, with one pending
    // Sent to the launcher once it has said something on standard error or
    // in the log and is still running half a second later (see
    // ran_until_signalled), or once `signal_after` has passed.
    int signal = 0;
    std::chrono::milliseconds signal_after{0};
};

class Launcher : public testing::Test {
protected:
    static void SetUpTestSuite() {
        const char* run_under = std::getenv("LAUNCHER_RUN_UNDER");
        launcher_prefix = split(run_under != nullptr ? run_under : "", '|');
        run_under_tool = !launcher_prefix.empty();
        const char* wrapper = std::getenv("LAUNCHER_WRAPPER");
        launcher_wrapper = wrapper != nullptr ? wrapper : "";
        for (auto& word : split(LAUNCHER_EMULATOR, '|')) {
            launcher_prefix.push_back(word);
        }
        launcher_image = test_dir::read(LAUNCHER_PATH);
        if (launcher_image.empty()) {
            no_sandbox_reason = "can't read "s + LAUNCHER_PATH;
            return;
        }
        no_sandbox_reason = enter_private_mount_namespace();
        // Where it is allowed (not under qemu-user), clients that outlive
        // the launcher become this process's children, to be reaped rather
        // than left as zombies under an init that may not reap them.
        ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    }

    void SetUp() override {
        if (!no_sandbox_reason.empty()) {
            if (std::getenv("CI") != nullptr) {
                FAIL() << no_sandbox_reason;
            }
            GTEST_SKIP() << no_sandbox_reason;
        }
        for (const char* dir : {"/opt", "/tmp", "/var"}) {
            mount_tmpfs(dir);
        }
        for (const char* dir :
             {"/opt/e2e", "/opt/Quorvane", "/opt/Quorvane/etc", "/opt/Quorvane/bin"}) {
            ::mkdir(dir, 0755);
        }
        write_file(launcher_copy, launcher_image, 0755);
        write_file("/opt/e2e/stdin", "not for the client\n");
    }

    void TearDown() override {
        if (!no_sandbox_reason.empty()) {
            return;  // still in the host's namespace: unmount nothing
        }
        if (launcher_group_ > 0) {
            ::kill(-launcher_group_, SIGKILL);
            while (::waitpid(-1, nullptr, 0) > 0) {
            }
        }
        for (const char* dir : {"/opt", "/tmp", "/var"}) {
            ::umount2(dir, MNT_DETACH);
        }
    }

    static void mount_tmpfs(const char* dir, const char* options = "mode=755") {
        ::umount2(dir, MNT_DETACH);
        ASSERT_EQ(::mount("tmpfs", dir, "tmpfs", 0, options), 0)
            << dir << ": " << std::strerror(errno);
    }

    pid_t launcher_group_ = 0;

    static void install_client() { write_file(client_path, stand_in_client, 0755); }

    // Runs the launcher with its own standard input, an extra descriptor that
    // the client must not inherit, and its output captured in files. A
    // launcher that waits for something that never comes is ended by an
    // alarm after 30 seconds (status -1).
    run_result run_launcher(const start_conditions& start = {}) {
        strings words = launcher_prefix;
        if (!launcher_wrapper.empty()) {
            words.insert(words.begin(), launcher_wrapper);
        }
        words.insert(words.begin(), start.tool.begin(), start.tool.end());
        words.emplace_back(launcher_copy);
        words.insert(words.end(), start.arguments.begin(), start.arguments.end());
        std::vector<char*> argv;
        for (auto& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        strings environment = start.environment.value_or(strings{});
        std::vector<char*> envp;
        for (auto& variable : environment) {
            envp.push_back(variable.data());
        }
        envp.push_back(nullptr);
        // What an earlier run said must not pass for this one's (see `signal`).
        write_file("/opt/e2e/stderr", "");

        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setpgid(0, 0);
            const int in = ::open("/opt/e2e/stdin", O_RDONLY);
            const int out = ::open("/opt/e2e/stdout", O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = ::open("/opt/e2e/stderr", O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int stray = ::open("/opt/e2e/stray", O_WRONLY | O_CREAT, 0644);
            ::dup2(in, 0);
            ::dup2(out, 1);
            ::dup2(err, 2);
            if (rlimit limit{}; ::getrlimit(RLIMIT_NOFILE, &limit) == 0 &&
                                limit.rlim_cur <= static_cast<rlim_t>(start.stray_fd)) {
                limit.rlim_cur = limit.rlim_max;
                ::setrlimit(RLIMIT_NOFILE, &limit);
            }
            ::dup2(stray, start.stray_fd);
            if (start.output == start_conditions::closed) {
                ::close(1);
                ::close(2);
            } else if (start.output == start_conditions::dead_pipe) {
                int pipe[2];
                ::pipe(pipe);
                ::dup2(pipe[1], 1);
                ::dup2(pipe[1], 2);
                ::close(pipe[0]);
                ::close(pipe[1]);
            }
            // Nothing else this process holds (CTest may leave some open).
            ::syscall(SYS_close_range, 3U, static_cast<unsigned>(start.stray_fd) - 1, 0U);
            ::syscall(SYS_close_range, static_cast<unsigned>(start.stray_fd) + 1, ~0U, 0U);
            ::umask(start.umask);
            static_cast<void>(::signal(SIGPIPE, SIG_DFL));
            if (start.ignored_signal != 0) {
                static_cast<void>(::signal(start.ignored_signal, SIG_IGN));
            }
            if (start.ignored_signal_pending) {
                sigset_t only;
                ::sigemptyset(&only);
                ::sigaddset(&only, start.ignored_signal);
                ::sigprocmask(SIG_BLOCK, &only, nullptr);
                static_cast<void>(::raise(start.ignored_signal));
            }
            if (start.descriptor_limit != 0) {
                const rlimit limit{start.descriptor_limit, start.descriptor_hard_limit != 0
                                                               ? start.descriptor_hard_limit
                                                               : start.descriptor_limit};
                ::setrlimit(RLIMIT_NOFILE, &limit);
            }
            if (start.address_space != 0) {
                const rlimit limit{start.address_space, start.address_space};
                ::setrlimit(RLIMIT_AS, &limit);
            }
            if (start.stack_size != 0) {
                const rlimit limit{start.stack_size, start.stack_size};
                ::setrlimit(RLIMIT_STACK, &limit);
            }
            if (start.without_proc && (::unshare(CLONE_NEWNS) != 0 ||
                                       ::mount("tmpfs", "/proc", "tmpfs", 0, nullptr) != 0)) {
                ::_exit(125);
            }
            if (start.close_range != start_conditions::present || start.without_new_processes) {
                fail_with_seccomp(start.close_range, start.without_new_processes);
            }
            ::alarm(30);
            if (start.environment) {
                ::execve(argv[0], argv.data(), envp.data());
            } else {
                ::execv(argv[0], argv.data());
            }
            ::_exit(126);
        }
        ::setpgid(pid, pid);  // also here, so it is done before anything is checked
        launcher_group_ = pid;
        int status = 0;
        bool ran_until_signalled = false;
        if (start.signal_after.count() != 0) {
            std::this_thread::sleep_for(start.signal_after);
            ::kill(pid, start.signal);
        } else if (start.signal != 0) {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (test_dir::read("/opt/e2e/stderr").empty() && test_dir::read(log_path).empty() &&
                   std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            ran_until_signalled = ::waitpid(pid, &status, WNOHANG) == 0;
            ::kill(pid, start.signal);
        }
        if (!(start.signal != 0 && !ran_until_signalled && start.signal_after.count() == 0)) {
            ::waitpid(pid, &status, 0);
        }
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                WIFSIGNALED(status) ? WTERMSIG(status) : 0,
                test_dir::read("/opt/e2e/stdout"),
                test_dir::read("/opt/e2e/stderr"),
                pid,
                ran_until_signalled};
    }

    // A seccomp filter that answers close_range with ENOSYS, as kernels
    // before 5.9 do, or with EINVAL when asked to mark, as 5.9 and 5.10 do,
    // and a clone that is not a new thread with EAGAIN, as
    // when no process can be made (clone3 with ENOSYS, so that the C
    // library falls back to clone). Under an emulator it is the emulator's
    // calls that fail.
    static void fail_with_seccomp(start_conditions::close_range_kind close_range,
                                  bool new_processes) {
        constexpr std::uint32_t enosys = SECCOMP_RET_ERRNO | ENOSYS;
        constexpr std::uint32_t eagain = SECCOMP_RET_ERRNO | EAGAIN;
        const bool missing = close_range == start_conditions::missing;
        sock_filter filter[] = {
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K,
                     close_range != start_conditions::present ? 436U : ~0U, 0, 4),  // every machine
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args) + 16),  // flags
            // Missing, any call fails; closing only, one with CLOSE_RANGE_CLOEXEC.
            BPF_JUMP(BPF_JMP | (missing ? BPF_JGE : BPF_JSET) | BPF_K, missing ? 0U : 4U, 0, 1),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (missing ? ENOSYS : EINVAL)),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, new_processes ? 435U : ~0U, 0, 1),  // clone3
            BPF_STMT(BPF_RET | BPF_K, enosys),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, new_processes ? SYS_clone : ~0U, 0, 4),
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args)),
            BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, CLONE_THREAD, 0, 1),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
            BPF_STMT(BPF_RET | BPF_K, eagain),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        };
        const sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
        ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
        ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program);
    }

    // True when the launcher left no process behind.
    bool no_client_started() const { return ::kill(-launcher_group_, 0) != 0 && errno == ESRCH; }

    // Waits for the stand-in client to finish its record, then reads it.
    static std::optional<client_record> wait_for_client() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!exists("/opt/client") && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (!exists("/opt/client")) {
            return std::nullopt;
        }
        client_record record;
        record.argv = split(test_dir::read("/opt/client/argv"), '\0');
        record.stdin_target = test_dir::read("/opt/client/stdin");
        for (const auto& line : split(test_dir::read("/opt/client/fds"), '\n')) {
            // dash keeps the script open, and /dev/null on descriptor 10.
            if (!line.ends_with(client_path) && line != "10 /dev/null") {
                record.descriptors.push_back(line);
            }
        }
        std::sort(
            record.descriptors.begin(), record.descriptors.end(),
            [](const std::string& a, const std::string& b) { return std::stoi(a) < std::stoi(b); });
        record.ignored_signals = std::stoull(test_dir::read("/opt/client/sigign"), nullptr, 16);
        record.path_variable = test_dir::read("/opt/client/path");
        record.umask = test_dir::read("/opt/client/umask");
        record.pid = std::stoi(test_dir::read("/opt/client/pid"));
        return record;
    }
};

// Holds an exclusive lock on a file, as another launcher appending would.
class unique_log_lock {
public:
    explicit unique_log_lock(const char* path) : fd_(::open(path, O_RDONLY | O_CLOEXEC)) {
        ::flock(fd_, LOCK_EX);
    }
    unique_log_lock(const unique_log_lock&) = delete;
    unique_log_lock& operator=(const unique_log_lock&) = delete;
    ~unique_log_lock() { ::close(fd_); }

private:
    int fd_;
};

// AddressSanitizer's shadow memory needs more address space than a tight
// limit, its leak check at exit a process of its own, and neither works
// under strace or without /proc.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool built_with_address_sanitizer = true;
#elif defined(__has_feature)
constexpr bool built_with_address_sanitizer = __has_feature(address_sanitizer);
#else
constexpr bool built_with_address_sanitizer = false;
#endif

const std::string typical_csv = "name,register,type\ntemperature,40001,int16\n";
const std::string not_started = "lwm2m-launcher: client not started: ";

std::string typical_settings(const std::string& enable = "1") {
    return "LWM2M_ENABLE=" + enable +
           "\n"
           "LWM2M_LOG_EN=1\n"
           "LWM2M_NAME=\"gw-0042\"\n"
           "LWM2M_SERVER_ADDR=lwm2m.example.net\n"
           "LWM2M_SERVER_PORT=5684\n"
           "LWM2M_LIFETIME=300\n"
           "LWM2M_PSK_ID=gw-0042\n"
           "LWM2M_PSK_HEX=1\n"
           "LWM2M_PSK=secret\n"
           "LWM2M_UPDATE_TIME=60\n"
           "LWM2M_CSV=" +
           base64_encode_for_tests(typical_csv) +
           "\n"
           "LWM2M_MODBUS_ADDR=192.168.1.10\n"
           "LWM2M_MODBUS_PORT=502\n"
           "LWM2M_MODBUS_SLAVE=1\n"
           "LWM2M_MODBUS_INTERVAL=10\n"
           "LWM2M_MODBUS_TIMEOUT=3\n";
}

TEST_F(Launcher, StartsTheClientInTheBackgroundAndLogsItsCommandLine) {
    write_file(settings_path, typical_settings());
    install_client();

    const auto run = run_launcher();
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(test_dir::read(log_path),
              "/opt/Quorvane/bin/lwm2mclient -4 -n gw-0042 -h lwm2m.example.net -p 5684 -u 60 "
              "-H 192.168.1.10 -P 502 -S 1 -I 10 -T 3 -t 300 -f /tmp/lwm2m/etc/config.csv -L "
              "-i gw-0042 -s 736563726574 &\n");
    EXPECT_EQ(test_dir::read(csv_path), typical_csv);

    const auto client = wait_for_client();
    ASSERT_TRUE(client);
    EXPECT_EQ(
        client->argv,
        (strings{client_path, "-4",   "-n",      "gw-0042", "-h",          "lwm2m.example.net",
                 "-p",        "5684", "-u",      "60",      "-H",          "192.168.1.10",
                 "-P",        "502",  "-S",      "1",       "-I",          "10",
                 "-T",        "3",    "-t",      "300",     "-f",          csv_path,
                 "-L",        "-i",   "gw-0042", "-s",      "736563726574"}));
    EXPECT_EQ(client->stdin_target, "/dev/null\n");
    ASSERT_EQ(client->descriptors.size(), 3U) << testing::PrintToString(client->descriptors);
    EXPECT_EQ(client->descriptors[0], "0 /dev/null");
    EXPECT_EQ(client->descriptors[1], "1 /opt/e2e/stdout");
    EXPECT_EQ(client->descriptors[2], "2 /opt/e2e/stderr");
    const std::uint64_t sigint_and_sigquit = (1U << (SIGINT - 1)) | (1U << (SIGQUIT - 1));
    EXPECT_EQ(client->ignored_signals & sigint_and_sigquit, sigint_and_sigquit);
}

TEST_F(Launcher, InTheForegroundTheLauncherBecomesTheClient) {
    write_file(settings_path, typical_settings());
    install_client();

    // A supervisor that left a signal ignored, SIGPIPE included; or blocked
    // too, with one pending, which must not end the launcher on its way.
    for (const bool pending : {false, true}) {
        std::filesystem::remove_all("/opt/client");
        ::unlink(client_started);  // no wait for the pace
        const auto run = run_launcher({.arguments = {"--foreground"},
                                       .ignored_signal = pending ? SIGUSR1 : SIGHUP,
                                       .ignored_signal_pending = pending});
        EXPECT_EQ(run.status, 0) << pending;  // the stand-in's own
        EXPECT_EQ(run.err, "");
        const auto client = wait_for_client();
        ASSERT_TRUE(client);
        EXPECT_EQ(client->pid, run.pid);
        EXPECT_EQ(client->argv.at(0), client_path);
        EXPECT_EQ(client->descriptors,
                  (strings{"0 /opt/e2e/stdin", "1 /opt/e2e/stdout", "2 /opt/e2e/stderr"}));
        EXPECT_EQ(client->ignored_signals, 0U);
    }

    // A stop that comes while another start holds the log's lock ends the
    // launcher once it has the lock, before the command line is logged.
    if (!launcher_prefix.empty()) {
        return;  // a tool or emulator may not have started it by then
    }
    write_file(log_path, "");
    std::filesystem::remove_all("/opt/client");
    ::unlink(client_started);
    std::thread holder([] {
        const unique_log_lock held(log_path);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    });
    const auto run = run_launcher({.arguments = {"--foreground"},
                                   .signal = SIGTERM,
                                   .signal_after = std::chrono::milliseconds(700)});
    holder.join();
    EXPECT_EQ(run.signal, SIGTERM);
    EXPECT_EQ(test_dir::read(log_path), "");
    EXPECT_FALSE(exists("/opt/client"));
}

// Under a supervisor that starts again whatever ends, a start that leaves no
// client waits: a disabled module until it is stopped, anything else at
// most 30 seconds, or until stopped. A stop ends it as the signal does, and
// so does one that came while it worked, before any command line is logged.
// A client that can't be run leaves the launcher as it was: SIGPIPE still
// ignored, with nobody reading its output.
TEST_F(Launcher, InTheForegroundAStartWithoutClientWaitsAndAStopEndsIt) {
    struct case_ {
        std::string settings;
        std::string reason;
        std::string logged;
        std::function<void()> gateway = [] {};
        int signal = SIGTERM;
        start_conditions::output_kind output = start_conditions::files;
    };
    const std::string cannot_start = "can't start /opt/Quorvane/bin/lwm2mclient: ";
    const std::string disabled = "the module is disabled (LWM2M_ENABLE is 0)";
    const case_ cases[] = {
        {typical_settings("0"), disabled, "Quorvane is disabled.\n"},
        {.settings = typical_settings("0"),
         .reason = disabled,
         .logged = "Quorvane is disabled.\n",
         .signal = SIGHUP},
        {"LWM2M_ENABLE=1\n",
         "no CSV configuration: LWM2M_CSV is missing or empty in /opt/Quorvane/etc/settings",
         missing_csv_entry},
        {.settings = typical_settings(),
         .reason = cannot_start + "No such file or directory",
         .logged = "lwm2m-launcher: " + cannot_start + "No such file or directory\n",
         .signal = SIGINT},
        // A stop while mkdir runs: nothing logged, nothing started.
        {typical_settings(), "", "",
         [] {
             install_client();
             ::mkdir("/opt/e2e/bin", 0755);
             write_file("/opt/e2e/bin/mkdir.real", test_dir::read("/usr/bin/mkdir"), 0755);
             write_file(
                 "/opt/e2e/bin/mkdir",
                 "#!/bin/sh\necho working >&2\nsleep 2\nexec /opt/e2e/bin/mkdir.real \"$@\"\n",
                 0755);
             ::mount("/opt/e2e/bin/mkdir", "/usr/bin/mkdir", nullptr, MS_BIND, nullptr);
         }},
        {typical_settings(), cannot_start + "Exec format error",
         "lwm2m-launcher: " + cannot_start + "Exec format error\n",
         [] { write_file(client_path, "\177ELF garbage", 0755); }, SIGTERM,
         start_conditions::dead_pipe},
    };
    for (const auto& [settings, reason, logged, gateway, signal, output] : cases) {
        SCOPED_TRACE(reason + " " + strsignal(signal));
        write_file(settings_path, settings);
        std::filesystem::remove_all("/tmp/lwm2m");
        gateway();
        const auto run =
            run_launcher({.output = output, .arguments = {"--foreground"}, .signal = signal});
        ::umount2("/usr/bin/mkdir", MNT_DETACH);
        EXPECT_TRUE(run.ran_until_signalled);
        EXPECT_EQ(run.signal, signal);
        if (output == start_conditions::files) {
            EXPECT_EQ(run.err, reason.empty() ? "working\n" : not_started + reason + "\n");
        }
        EXPECT_TRUE(test_dir::read(log_path).ends_with(logged)) << test_dir::read(log_path);
        if (logged.empty()) {
            EXPECT_EQ(test_dir::read(log_path), "");
        }
        EXPECT_TRUE(no_client_started());
    }
}

// A client that ends at once is started again 30 seconds after the last
// start at the soonest, however soon the launcher is run again; a stop ends
// the wait as its signal does. New settings, a client started longer ago,
// or a start without --foreground never wait.
TEST_F(Launcher, InTheForegroundClientStartsAreThirtySecondsApart) {
    write_file(settings_path, typical_settings());
    install_client();
    EXPECT_EQ(run_launcher({.arguments = {"--foreground"}}).status, 0);  // the stand-in's
    ASSERT_TRUE(wait_for_client());
    const std::string logged = test_dir::read(log_path);
    auto run = run_launcher({.arguments = {"--foreground"}, .signal = SIGTERM});
    EXPECT_TRUE(run.ran_until_signalled);
    EXPECT_EQ(run.signal, SIGTERM);
    EXPECT_TRUE(run.err.starts_with("lwm2m-launcher: the client was started ")) << run.err;
    EXPECT_EQ(test_dir::read(log_path), logged);

    const auto started_long_ago = [] {  // 31 s earlier than it was
        const std::string stamp = test_dir::read(client_started);
        const auto blank = stamp.find(' ');
        write_file(client_started,
                   std::to_string(std::stoll(stamp) - 31'000'000'000LL) + stamp.substr(blank));
    };
    const std::pair<strings, std::function<void()>> no_wait[] = {
        {{"--foreground"}, [] { write_file(settings_path, typical_settings() + "\n"); }},
        {{"--foreground"}, started_long_ago},
        {{}, [] {}},
    };
    for (const auto& [arguments, before] : no_wait) {
        std::filesystem::remove_all("/opt/client");
        before();
        run = run_launcher({.arguments = arguments});
        EXPECT_EQ(run.err, "");
        EXPECT_TRUE(wait_for_client());
    }
}

TEST_F(Launcher, DisabledModuleWritesTheCsvButStartsNothing) {
    write_file(settings_path, typical_settings("0"));
    install_client();

    const auto run = run_launcher();
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, not_started + "the module is disabled (LWM2M_ENABLE is 0)\n");
    EXPECT_EQ(test_dir::read(log_path), "Quorvane is disabled.\n");
    EXPECT_EQ(test_dir::read(csv_path), typical_csv);
    EXPECT_TRUE(no_client_started());
}

TEST_F(Launcher, MissingCsvConfigurationEndsWith255AndSaysWhy) {
    const std::string without_csv = "LWM2M_ENABLE=1\nLWM2M_NAME=gw\n";
    const std::string none = "no CSV configuration: LWM2M_CSV is missing or empty in " +
                             std::string(settings_path) + "\n";
    const std::string nothing = "no CSV configuration: LWM2M_CSV decodes to no bytes\n";
    const std::pair<std::string, std::string> cases[] = {
        {without_csv, none},
        {without_csv + "LWM2M_CSV=\n", none},
        {without_csv + "LWM2M_CSV=\"\"\n", none},
        {without_csv + "LWM2M_CSV=!!== \n", nothing},  // no digits
        {without_csv + "LWM2M_CSV=Q\n", nothing},      // one digit
        {without_csv + "LWM2M_CSV=" + base64_encode_for_tests("\0a,b"s) + "\n",
         nothing},  // zero first
    };
    install_client();
    for (const auto& [settings, reason] : cases) {
        SCOPED_TRACE(settings);
        write_file(settings_path, settings);
        ::unlink(log_path);
        const auto run = run_launcher();
        EXPECT_EQ(run.status, 255);
        EXPECT_EQ(run.err, not_started + reason);
        EXPECT_EQ(test_dir::read(log_path), missing_csv_entry);
        EXPECT_FALSE(exists(csv_path));
        EXPECT_TRUE(no_client_started());
    }
}

TEST_F(Launcher, MissingSettingsFileEndsWith255AndSaysSo) {
    const auto run = run_launcher();
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.err, not_started + "no settings file at /opt/Quorvane/etc/settings\n");
    EXPECT_EQ(test_dir::read(log_path), missing_csv_entry);
}

TEST_F(Launcher, CsvConfigurationStopsAtAZeroByte) {
    write_file(settings_path, "LWM2M_CSV=" + base64_encode_for_tests("a,b\nc\0hidden"s) + "\n");
    EXPECT_EQ(run_launcher().status, 0);
    EXPECT_EQ(test_dir::read(csv_path), "a,b\nc");
}

TEST_F(Launcher, StaleEntriesGoByNameAndTheMapFileGoes) {
    for (const char* dir : {"/tmp/lwm2m", "/tmp/lwm2m/etc", "/tmp/lwm2m/etc/old.d"}) {
        ::mkdir(dir, 0755);
    }
    for (const char* file :
         {"/tmp/lwm2m/etc/config.csv", "/tmp/lwm2m/etc/a.b.c", "/tmp/lwm2m/etc/old.d/inner",
          "/tmp/lwm2m/etc/nodot", "/tmp/lwm2m/etc/.hidden", "/tmp/lwm2m/keep.txt",
          "/var/lwm2m_map.txt"}) {
        write_file(file, "stale");
    }
    write_file(settings_path, "LWM2M_ENABLE=0\n");

    EXPECT_EQ(run_launcher().status, 255);  // the stale config.csv is gone too
    for (const char* gone : {"/tmp/lwm2m/etc/config.csv", "/tmp/lwm2m/etc/a.b.c",
                             "/tmp/lwm2m/etc/old.d", "/var/lwm2m_map.txt"}) {
        EXPECT_FALSE(exists(gone)) << gone;
    }
    for (const char* kept :
         {"/tmp/lwm2m/etc/nodot", "/tmp/lwm2m/etc/.hidden", "/tmp/lwm2m/keep.txt"}) {
        EXPECT_TRUE(exists(kept)) << kept;
    }
}

TEST_F(Launcher, ShellCharactersInValuesAreNeverRun) {
    const std::string name = "a b;touch /tmp/n1";
    const std::string addr = "$(touch /tmp/n2)";
    const std::string modbus = "`touch /tmp/n3`|touch /tmp/n4";
    const std::string psk_id = "x' && touch /tmp/n5 #";
    const std::string psk = "k & touch /tmp/n6 > /tmp/n7";
    write_file(settings_path, "LWM2M_ENABLE=1\nLWM2M_NAME=" + name + "\nLWM2M_SERVER_ADDR=" + addr +
                                  "\nLWM2M_MODBUS_ADDR=" + modbus + "\nLWM2M_PSK_ID=" + psk_id +
                                  "\nLWM2M_PSK=" + psk + "\nLWM2M_CSV=YSxi\n");
    install_client();

    EXPECT_EQ(run_launcher().status, 0);
    const auto client = wait_for_client();
    ASSERT_TRUE(client);
    EXPECT_EQ(client->argv,
              (strings{client_path, "-4",   "-n", name,     "-h", addr,   "-p", "0", "-u", "0",
                       "-H",        modbus, "-P", "0",      "-S", "0",    "-I", "0", "-T", "0",
                       "-t",        "0",    "-f", csv_path, "-i", psk_id, "-s", psk}));
    EXPECT_EQ(test_dir::read(log_path),
              "/opt/Quorvane/bin/lwm2mclient -4 -n " + name + " -h " + addr + " -p 0 -u 0 -H " +
                  modbus + " -P 0 -S 0 -I 0 -T 0 -t 0 -f /tmp/lwm2m/etc/config.csv -i " + psk_id +
                  " -s " + psk + "  &\n");
    for (const char* planted :
         {"/tmp/n1", "/tmp/n2", "/tmp/n3", "/tmp/n4", "/tmp/n5", "/tmp/n6", "/tmp/n7"}) {
        EXPECT_FALSE(exists(planted)) << planted;
    }
}

TEST_F(Launcher, LinesOfAnyLengthAreLoggedAndPassedWhole) {
    const std::string name(3000, 'n');
    const std::string key(1500, 'k');
    write_file(settings_path, "LWM2M_ENABLE=1\nLWM2M_NAME=" + name +
                                  "\nLWM2M_PSK_ID=id\nLWM2M_PSK_HEX=1\nLWM2M_PSK=" + key +
                                  "\nLWM2M_CSV=YSxi\n");
    install_client();

    EXPECT_EQ(run_launcher().status, 0);
    const std::string log = test_dir::read(log_path);
    EXPECT_GT(log.size(), 6000U);
    EXPECT_NE(log.find(" -n " + name + " -h "), std::string::npos);
    std::string hex;
    for (std::size_t i = 0; i < key.size(); ++i) {
        hex += "6B";
    }
    EXPECT_TRUE(log.ends_with(" -i id -s " + hex + " &\n"));
    const auto client = wait_for_client();
    ASSERT_TRUE(client);
    EXPECT_EQ(client->argv[3], name);
    EXPECT_EQ(client->argv.back().size(), 3000U);
}

TEST_F(Launcher, ClientThatCannotStartIsReportedWithStatus1) {
    write_file(settings_path, "LWM2M_ENABLE=1\nLWM2M_CSV=YSxi\n");
    const std::string line =
        "/opt/Quorvane/bin/lwm2mclient -4 -n  -h  -p 0 -u 0 -H  -P 0 -S 0 -I 0 -T 0 -t 0 "
        "-f /tmp/lwm2m/etc/config.csv  &\n";
    const std::pair<mode_t, std::string> cases[] = {
        {0, "No such file or directory"},  // no client installed
        {0644, "Permission denied"},       // installed, not executable
    };
    for (const auto& [mode, reason] : cases) {
        SCOPED_TRACE(reason);
        if (mode != 0) {
            write_file(client_path, stand_in_client, mode);
        }
        ::unlink(log_path);
        const std::string message =
            "lwm2m-launcher: can't start /opt/Quorvane/bin/lwm2mclient: " + reason + "\n";
        const auto run = run_launcher();
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, not_started + message.substr(message.find("can't")));
        EXPECT_EQ(test_dir::read(log_path), line + message);
        EXPECT_TRUE(no_client_started());
    }
}

// --check foresees what exec will answer for the client, by the kernel's
// own rules, and so does the start; the kernel itself is asked too (where
// the build machine runs the launcher: an emulator runs another machine's
// programs as its own).
TEST_F(Launcher, CheckForeseesWhatExecWillAnswer) {
    write_file(settings_path, typical_settings());
    const std::string program = test_dir::read("/bin/true");
    const auto elf = [&program](auto&& change) {
        std::string image = program;
        change(image);
        write_file(client_path, image, 0755);
    };
    const bool native = LAUNCHER_EMULATOR[0] == '\0';
    const std::string no_exec = "Exec format error";
    const std::tuple<const char*, std::function<void()>, std::string> clients[] = {
        {"another machine's",
         [&] {
             elf([](std::string& image) {
                 image[18] = static_cast<char>(image[18] == 62 ? 183 : 62);  // x86_64, aarch64
             });
         },
         no_exec},
        {"its loader missing",
         [&] {
             elf([](std::string& image) {
                 const auto at = image.find(".so.", image.find("/ld-"));
                 image[at + 4] = '9';
             });
         },
         "No such file or directory"},
        {"#! to a missing interpreter",
         [] { write_file(client_path, "#!/nonexistent/interpreter\n", 0755); },
         "No such file or directory"},
        {"#! to an interpreter nobody may run",
         [] {
             write_file("/opt/e2e/not-executable", "", 0644);
             write_file(client_path, "#! /opt/e2e/not-executable -x\n", 0755);
         },
         "Permission denied"},
        {"text without #!", [] { write_file(client_path, "just text\n", 0755); }, no_exec},
        {"on a noexec mount",
         [] {
             ::umount2("/opt/Quorvane/bin", MNT_DETACH);
             ::mount("tmpfs", "/opt/Quorvane/bin", "tmpfs", MS_NOEXEC, nullptr);
             install_client();
         },
         "Permission denied"},
        {"a directory", [] { ::mkdir(client_path, 0755); }, "Permission denied"},
    };
    // The first two are this machine's /bin/true, changed: an emulator runs
    // another machine's programs as its own.
    for (std::size_t row = native ? 0 : 2; row < std::size(clients); ++row) {
        const auto& [what, install, reason] = clients[row];
        SCOPED_TRACE(what);
        mount_tmpfs("/opt/Quorvane/bin");
        install();
        const std::string said =
            "client not started: can't start " + std::string(client_path) + ": " + reason;
        const auto check = run_launcher({.arguments = {"--check"}});
        const auto start = run_launcher();
        EXPECT_EQ(check.status, 1);
        EXPECT_EQ(start.status, 1);
        EXPECT_NE(check.out.find("  say \"" + said + "\"\n"), std::string::npos) << check.out;
        EXPECT_TRUE(start.err.ends_with("lwm2m-launcher: " + said + "\n")) << start.err;
        if (native) {
            const pid_t child = ::fork();
            if (child == 0) {
                char* const argv[] = {const_cast<char*>(client_path), nullptr};
                ::execv(client_path, argv);
                ::_exit(errno);
            }
            int status = 0;
            ::waitpid(child, &status, 0);
            EXPECT_EQ(std::strerror(WEXITSTATUS(status)), reason) << "the kernel's answer";
        }
    }
    ::umount2("/opt/Quorvane/bin", MNT_DETACH);
}

TEST_F(Launcher, UntrustedWorkDirectoryIsNotUsed) {
    ::mkdir("/tmp/elsewhere", 0755);
    write_file("/tmp/elsewhere/victim.txt", "keep");
    write_file("/var/lwm2m_map.txt", "keep");
    write_file(settings_path, typical_settings());
    install_client();

    const auto expect_refused = [&](const std::string& reason) {
        const auto run = run_launcher();
        EXPECT_EQ(run.status, 1);
        // mkdir may have said something before.
        EXPECT_TRUE(
            run.err.ends_with(not_started + "refusing to work in /tmp/lwm2m/etc: " + reason + "\n"))
            << run.err;
        EXPECT_TRUE(exists("/tmp/elsewhere/victim.txt"));
        EXPECT_TRUE(exists("/var/lwm2m_map.txt"));
        EXPECT_FALSE(exists("/tmp/elsewhere/etc"));
        EXPECT_FALSE(exists("/tmp/elsewhere/config.csv"));
        EXPECT_FALSE(exists("/tmp/elsewhere/lwm2m.log"));
        EXPECT_FALSE(exists(log_path));
        EXPECT_TRUE(no_client_started());
    };

    ::mkdir("/tmp/lwm2m", 0755);
    ::symlink("/tmp/elsewhere", "/tmp/lwm2m/etc");
    expect_refused("/tmp/lwm2m/etc is a symbolic link");

    ::unlink("/tmp/lwm2m/etc");
    ::rmdir("/tmp/lwm2m");
    ::symlink("/tmp/elsewhere", "/tmp/lwm2m");
    expect_refused("/tmp/lwm2m is a symbolic link");

    ::unlink("/tmp/lwm2m");
    ::mkdir("/tmp/lwm2m", 0755);
    write_file("/tmp/lwm2m/etc", "a file");
    expect_refused("/tmp/lwm2m/etc is not a directory");

    ::unlink("/tmp/lwm2m/etc");
    ::mkdir("/tmp/lwm2m/etc", 0755);
    if (::chown("/tmp/lwm2m/etc", 4321, 4321) == 0) {  // needs a real root
        ::unlink(log_path);
        expect_refused("/tmp/lwm2m/etc is owned by uid 4321, not by uid 0");
    }
}

TEST_F(Launcher, CsvThatDoesNotFitIsRemovedNotLeftHalfWritten) {
    mount_tmpfs("/tmp", "size=64k");
    std::string csv;
    while (csv.size() < std::size_t{256} * 1024) {
        csv += "sensor,40001,int16,some description of the register\n";
    }
    write_file(settings_path, "LWM2M_ENABLE=1\nLWM2M_CSV=" + base64_encode_for_tests(csv) + "\n");
    install_client();

    const auto run = run_launcher();
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.err,
              "lwm2m-launcher: can't write /tmp/lwm2m/etc/config.csv, removed it: No space left "
              "on device\n" +
                  not_started +
                  "no CSV configuration: /tmp/lwm2m/etc/config.csv could not be written\n");
    EXPECT_FALSE(exists(csv_path));
    EXPECT_EQ(test_dir::read(log_path), missing_csv_entry);
    EXPECT_TRUE(no_client_started());
}

TEST_F(Launcher, OptionsTouchNothingUnknownOnesAreRefusedOtherArgumentsIgnored) {
    write_file(settings_path, typical_settings());
    install_client();
    write_file("/var/lwm2m_map.txt", "kept");
    const auto version = run_launcher({.arguments = {"--version"}});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "lwm2m-launcher "s + LAUNCHER_VERSION + "\n");
    const auto help = run_launcher({.arguments = {"--help"}});
    EXPECT_EQ(help.status, 0);
    const std::string usage =
        "Usage: lwm2m-launcher [--foreground | --check [--strict] [--json] [FILE] | --version |\n"
        "                      --help]\n";
    EXPECT_TRUE(help.out.starts_with(usage)) << help.out;
    // A typo must not run the boot job, wherever it stands.
    for (const strings& arguments :
         {strings{"-h"}, strings{"start", "--chek"}, strings{"-"}, strings{"--strict"}}) {
        const auto typo = run_launcher({.arguments = arguments});
        EXPECT_EQ(typo.status, 2);
        EXPECT_EQ(typo.err, "lwm2m-launcher: unknown option " + arguments.back() + "\n" + usage);
    }
    EXPECT_FALSE(exists("/tmp/lwm2m"));
    EXPECT_TRUE(exists("/var/lwm2m_map.txt"));
    EXPECT_TRUE(no_client_started());

    // As init scripts call it.
    EXPECT_EQ(run_launcher({.arguments = {"start"}}).status, 0);
    EXPECT_TRUE(wait_for_client());
}

// --check reads what a start reads and touches nothing; it ends as the
// start would on the same file, but for a file it can't read (1, where a
// start goes on without settings to 255).
TEST_F(Launcher, CheckTouchesNothingAndEndsAsAStartWould) {
    install_client();
    const std::string other = "/opt/e2e/new-settings";
    const std::pair<std::string, int> cases[] = {
        {typical_settings(), 0},
        {typical_settings("0"), 0},
        {"LWM2M_ENABLE=1\n", 255},
        {"", 1},  // no file at all
    };
    for (const auto& [settings, status] : cases) {
        SCOPED_TRACE(settings);
        ::unlink(settings_path);
        ::unlink(other.c_str());
        if (!settings.empty()) {
            write_file(settings_path, settings);
            write_file(other, settings);
        }
        const auto check = run_launcher({.arguments = {"--check"}});
        EXPECT_EQ(check.status, status);
        EXPECT_EQ(run_launcher({.arguments = {"--check", other}}).status, status);
        EXPECT_TRUE(check.out.starts_with("Settings file /opt/Quorvane/etc/settings\n"));
        EXPECT_EQ(check.out.find("secret"), std::string::npos);
        EXPECT_FALSE(exists("/tmp/lwm2m"));
        EXPECT_TRUE(no_client_started());
        EXPECT_EQ(run_launcher().status, status == 1 ? 255 : status);
        std::filesystem::remove_all("/tmp/lwm2m");
    }
}

// On the same gateway, --check ends as the start does, and a start that
// leaves no client says why in the one line that begins "client not
// started: ".
TEST_F(Launcher, CheckSaysWhenProcShowsTheKeyToEveryone) {
    write_file(settings_path, typical_settings(), 0600);
    for (const auto& [options, shown] :
         {std::pair{"hidepid=0", true}, {"hidepid=invisible", false}, {"hidepid=2", false}}) {
        SCOPED_TRACE(options);
        if (::mount("proc", "/proc", "proc", 0, options) != 0) {
            GTEST_SKIP() << "can't mount /proc here";
        }
        const auto check = run_launcher({.arguments = {"--check"}});
        ::umount2("/proc", MNT_DETACH);
        EXPECT_EQ(check.status, 1);  // no client installed, whatever /proc shows
        EXPECT_EQ(check.out.find("/proc shows every process's command line, the client's key "
                                 "included, to every local user: mount it with "
                                 "hidepid=invisible\n") != std::string::npos,
                  shown)
            << check.out;
    }
}

// A --check --json output holds one JSON object, as the schema says, and
// never the key of typical_settings(), plain or in hexadecimal; checked by
// Debian's python3-jsonschema.
void expect_valid_check_json(const std::string& json) {
    EXPECT_TRUE(json.ends_with("}\n") && json.find('\n') == json.size() - 1) << json;
    EXPECT_EQ(json.find("secret"), std::string::npos);
    EXPECT_EQ(json.find("736563726574"), std::string::npos);
    write_file("/opt/e2e/check.json", json);
    const int status = std::system(
        "/usr/bin/python3 -c 'import json, sys, jsonschema; "
        "jsonschema.Draft202012Validator(json.load(open(sys.argv[1]))).validate("
        "json.load(open(sys.argv[2])))' " LAUNCHER_CHECK_SCHEMA " /opt/e2e/check.json");
    EXPECT_EQ(status, 0) << json;
}

mode_t mode_of(const char* path) {
    struct stat status {};
    return ::lstat(path, &status) == 0 ? status.st_mode & 07777 : 0;
}

// A small tree that must come out of every start as it went in.
void keep(const std::string& root) {
    ::mkdir(root.c_str(), 0755);
    ::mkdir((root + "/sub").c_str(), 0755);
    write_file(root + "/precious.txt", "x");
    write_file(root + "/sub/deep.txt", "y");
}

TEST_F(Launcher, CheckAndStartAgreeOnWhatTheGatewayAllows) {
    const std::pair<const char*, std::function<void()>> gateways[] = {
        {"read-only /tmp", [] { mount_tmpfs("/tmp", "ro"); }},
        {"a symbolic link for /tmp/lwm2m", [] { ::symlink("/opt", "/tmp/lwm2m"); }},
        {"an earlier config.csv that can't go",
         [] {
             for (const char* dir : {"/tmp/lwm2m", "/tmp/lwm2m/etc", csv_path}) {
                 ::mkdir(dir, 0755);
             }
             ::mkdir("/tmp/lwm2m/etc/config.csv/m", 0755);
             mount_tmpfs("/tmp/lwm2m/etc/config.csv/m");
         }},
        {"a client nobody may run", [] { ::chmod(client_path, 0644); }},
        // Bind mounts of the same file system, of a directory and of a
        // file, and of another one: never entered, never emptied, never
        // made writable.
        {"directories bound on dotted entries",
         [] {
             for (const char* dir : {"/tmp/lwm2m", "/tmp/lwm2m/etc", "/tmp/lwm2m/etc/data.d",
                                     "/tmp/lwm2m/etc/same.d", csv_path}) {
                 ::mkdir(dir, 0755);
             }
             keep("/tmp/keep");
             ::mount("/opt/e2e/keep", "/tmp/lwm2m/etc/data.d", nullptr, MS_BIND, nullptr);
             ::mount("/tmp/keep", "/tmp/lwm2m/etc/same.d", nullptr, MS_BIND, nullptr);
             ::mount("/tmp/keep", csv_path, nullptr, MS_BIND, nullptr);
         }},
        {"an immutable earlier config.csv",
         [] {
             ::mkdir("/tmp/lwm2m", 0755);
             ::mkdir("/tmp/lwm2m/etc", 0755);
             write_file(csv_path, "old");
             const int file = ::open(csv_path, O_RDONLY);
             int flags = FS_IMMUTABLE_FL;
             // Through syscall(2): glibc's ioctl takes the request as
             // unsigned long, musl's as int.
             EXPECT_EQ(::syscall(SYS_ioctl, file, FS_IOC_SETFLAGS, &flags), 0)
                 << "tmpfs takes it since Linux 6.0";
             ::close(file);
         }},
        {"a file of the same file system bound on config.csv",
         [] {
             ::mkdir("/tmp/lwm2m", 0755);
             ::mkdir("/tmp/lwm2m/etc", 0755);
             write_file(csv_path, "");
             keep("/tmp/keep");
             ::mount("/tmp/keep/precious.txt", csv_path, nullptr, MS_BIND, nullptr);
         }},
    };
    keep("/opt/e2e/keep");
    write_file(settings_path, typical_settings());
    for (const auto& [what, make] : gateways) {
        SCOPED_TRACE(what);
        if (run_under_tool && &make == &gateways[0].second) {
            continue;  // valgrind needs a /tmp it can write
        }
        mount_tmpfs("/tmp", "mode=1777");
        install_client();
        make();
        const auto check = run_launcher({.arguments = {"--check"}});
        const auto json = run_launcher({.arguments = {"--check", "--json"}});
        const auto start = run_launcher();
        EXPECT_NE(start.status, 0);
        EXPECT_EQ(check.status, start.status) << check.out;
        EXPECT_EQ(json.status, start.status);
        expect_valid_check_json(json.out);
        // What the walk found, never a second look that tells another story.
        if (check.out.find("refuse to work in") != std::string::npos) {
            EXPECT_EQ(check.out.find("a start makes it"), std::string::npos) << check.out;
        }
        // Every dotted entry made here stays, and is not counted as removed.
        EXPECT_EQ(check.out.find("  remove "), std::string::npos) << check.out;
        const auto at = start.err.rfind(not_started);
        ASSERT_NE(at, std::string::npos) << start.err;
        const std::string said = start.err.substr(at);
        EXPECT_NE(check.out.find("  say \"" + said.substr(16, said.size() - 17) + "\"\n"),
                  std::string::npos)
            << check.out << said;
        EXPECT_TRUE(no_client_started());
        for (const std::string root : {"/opt/e2e/keep", "/tmp/keep"}) {
            if (exists(root)) {
                EXPECT_EQ(test_dir::read(root + "/precious.txt"), "x") << root;
                EXPECT_EQ(test_dir::read(root + "/sub/deep.txt"), "y") << root;
                EXPECT_EQ(mode_of((root + "/sub").c_str()), 0755U) << root;
            }
        }
        ::umount2("/tmp/lwm2m/etc/config.csv/m", MNT_DETACH);
    }
}

// Hostile conditions that a gateway meets.

TEST_F(Launcher, NothingWaitsOnAFifoOrADevice) {
    const std::string ignored =
        "lwm2m-launcher: ignoring /opt/Quorvane/etc/settings: not a regular file\n" + not_started +
        "no CSV configuration: /opt/Quorvane/etc/settings could not be read\n";
    ::symlink("/dev/zero", "/opt/e2e/zero");
    const std::pair<const char*, std::function<void()>> settings_files[] = {
        {"FIFO", [] { ::mkfifo(settings_path, 0644); }},
        {"link to /dev/zero", [] { ::symlink("/opt/e2e/zero", settings_path); }},
        {"directory", [] { ::mkdir(settings_path, 0755); }},
    };
    for (const auto& [what, make] : settings_files) {
        SCOPED_TRACE(what);
        ::unlink(settings_path);
        ::rmdir(settings_path);
        make();
        const auto run = run_launcher();
        EXPECT_EQ(run.status, 255);
        EXPECT_EQ(run.err, ignored);
    }
    // Neither a start nor --check opens it: a writer waiting on the FIFO
    // still waits.
    ::rmdir(settings_path);
    ::mkfifo(settings_path, 0644);
    const pid_t writer = ::fork();
    if (writer == 0) {
        ::close(::open(settings_path, O_WRONLY));
        ::_exit(0);
    }
    EXPECT_EQ(run_launcher().status, 255);
    EXPECT_EQ(run_launcher({.arguments = {"--check"}}).status, 1);
    EXPECT_EQ(::waitpid(writer, nullptr, WNOHANG), 0);
    ::close(::open(settings_path, O_RDONLY | O_NONBLOCK));
    ::waitpid(writer, nullptr, 0);
    ::unlink(settings_path);

    // A FIFO in the log's place: the messages are dropped, the start goes on.
    write_file(settings_path, typical_settings());
    install_client();
    ::unlink(log_path);
    ASSERT_EQ(::mkfifo(log_path, 0644), 0);
    const auto run = run_launcher();
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "lwm2m-launcher: not writing to /tmp/lwm2m/lwm2m.log: not a regular file\n");
    EXPECT_TRUE(wait_for_client());
}

TEST_F(Launcher, ThousandsOfStaleEntriesAllGoTheOldCsvWithThem) {
    // More than one shell command line can hold.
    ::mkdir("/tmp/lwm2m", 0755);
    ::mkdir("/tmp/lwm2m/etc", 0755);
    const std::string stem(200, 's');
    for (int i = 0; i < 12000; ++i) {
        write_file("/tmp/lwm2m/etc/" + stem + std::to_string(i) + ".tmp", "");
    }
    write_file(csv_path, "stale,configuration\n");
    write_file(settings_path, "LWM2M_ENABLE=1\n");
    install_client();

    EXPECT_EQ(run_launcher().status, 255);
    EXPECT_FALSE(exists(csv_path));
    EXPECT_TRUE(std::filesystem::is_empty("/tmp/lwm2m/etc"));
    EXPECT_TRUE(no_client_started());
}

TEST_F(Launcher, DottedTreesGoAtAnyDepthAndACsvThatStaysNeverCounts) {
    // 8,000 levels, with a stack of 1 MiB and 64 descriptors.
    ::mkdir("/tmp/lwm2m", 0755);
    ::mkdir("/tmp/lwm2m/etc", 0755);
    int dir = ::open("/tmp/lwm2m/etc", O_RDONLY | O_DIRECTORY);
    for (const char* name : {"deep.d", "d"}) {
        for (int level = 0; level < (name[1] == '\0' ? 8000 : 1); ++level) {
            ::mkdirat(dir, name, 0755);
            const int down = ::openat(dir, name, O_RDONLY | O_DIRECTORY);
            ::close(dir);
            dir = down;
        }
    }
    ::close(dir);
    write_file(settings_path, typical_settings("0"));
    auto run = run_launcher({.descriptor_limit = 64, .stack_size = rlim_t{1} << 20});
    EXPECT_EQ(run.status, 0);
    EXPECT_FALSE(exists("/tmp/lwm2m/etc/deep.d"));
    EXPECT_EQ(test_dir::read(csv_path), typical_csv);

    // A config.csv that can't be removed is not this start's.
    ::unlink(csv_path);
    ::mkdir(csv_path, 0755);
    ::mkdir("/tmp/lwm2m/etc/config.csv/busy", 0755);
    mount_tmpfs("/tmp/lwm2m/etc/config.csv/busy");
    write_file("/tmp/lwm2m/etc/config.csv/busy/inner.x", "another file system's");
    write_file(settings_path, typical_settings());
    install_client();
    ::unlink(log_path);
    run = run_launcher();
    // The walk never entered it, and left the directory that holds it as
    // it was.
    EXPECT_EQ(mode_of("/tmp/lwm2m/etc/config.csv/busy"), 0755U);
    EXPECT_EQ(mode_of(csv_path), 0755U);
    EXPECT_TRUE(exists("/tmp/lwm2m/etc/config.csv/busy/inner.x"));
    ::umount2("/tmp/lwm2m/etc/config.csv/busy", MNT_DETACH);
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.err,
              "lwm2m-launcher: can't remove /tmp/lwm2m/etc/config.csv: a file system is mounted on "
              "/tmp/lwm2m/etc/config.csv/busy\n" +
                  not_started +
                  "no CSV configuration: the earlier /tmp/lwm2m/etc/config.csv could not be "
                  "removed\n");
    EXPECT_EQ(test_dir::read(log_path), missing_csv_entry);
    EXPECT_TRUE(no_client_started());
}

// strace, holding the launcher for two seconds in the `when`th `call` of
// those that `filter` lets through.
strings held_by_strace(const std::string& call, int when, const strings& filter) {
    strings words = {"/usr/bin/strace", "-o", "/dev/null"};
    words.insert(words.end(), filter.begin(), filter.end());
    words.insert(words.end(),
                 {"-e", "inject=" + call + ":delay_exit=2000000:when=" + std::to_string(when)});
    return words;
}

// Calls `act` once some process holds the file at `path` open (a launcher
// that strace holds inside a step), or after 20 seconds. The file is told
// by its device and inode: another test's launcher may hold a file of the
// same name in a mount namespace of its own.
std::thread when_held_open(const std::string& path, const std::function<void()>& act) {
    struct stat wanted {};
    ::stat(path.c_str(), &wanted);
    return std::thread([wanted, act] {
        namespace fs = std::filesystem;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        std::error_code ignored;
        while (std::chrono::steady_clock::now() < deadline) {
            for (fs::directory_iterator process("/proc", ignored), end; process != end;
                 process.increment(ignored)) {
                for (fs::directory_iterator fd(process->path() / "fd", ignored); fd != end;
                     fd.increment(ignored)) {
                    struct stat held {};
                    if (::stat(fd->path().c_str(), &held) == 0 && held.st_dev == wanted.st_dev &&
                        held.st_ino == wanted.st_ino) {
                        act();
                        return;
                    }
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        act();
    });
}

// A tree that moves away while it is emptied stays, and the walk goes on to
// the rest; whatever stands at config.csv after the walk (here a link to a
// file elsewhere, made by a stand-in rm, the command that runs next) is
// never written through. strace holds the launcher in the listing of
// a.d/inner (its fifth getdents64, the seventh where close_range is missing
// and /proc/self/fd is listed first) while the test moves inner away.
TEST_F(Launcher, TheWalkFinishesAndWritesNothingThrough) {
    if (!launcher_prefix.empty() || built_with_address_sanitizer) {
        GTEST_SKIP() << "strace can't run under another tool or an emulator";
    }
    ::mkdir("/tmp/lwm2m", 0755);
    ::mkdir("/tmp/lwm2m/etc", 0755);
    for (const char* name : {"before1.txt", "before2.txt", "a.d", "after1.txt", "after2.txt"}) {
        write_file("/tmp/lwm2m/etc/"s + name, "");
        if (name[0] == 'a' && name[1] == '.') {
            ::unlink("/tmp/lwm2m/etc/a.d");
            ::mkdir("/tmp/lwm2m/etc/a.d", 0755);
            ::mkdir("/tmp/lwm2m/etc/a.d/inner", 0755);
        }
    }
    write_file("/tmp/lwm2m/etc/a.d/inner/f.txt", "");
    write_file(settings_path, typical_settings());
    install_client();
    std::thread mover = when_held_open("/tmp/lwm2m/etc/a.d/inner", [] {
        static_cast<void>(::rename("/tmp/lwm2m/etc/a.d/inner", "/tmp/lwm2m/moved"));
    });
    auto run = run_launcher({.tool = held_by_strace("getdents64", launcher_wrapper.empty() ? 5 : 7,
                                                    {"-e", "trace=getdents64"})});
    mover.join();
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err,
              "lwm2m-launcher: can't remove /tmp/lwm2m/etc/a.d: moved away while it was being "
              "removed\n");
    strings left;
    for (const auto& entry : std::filesystem::directory_iterator("/tmp/lwm2m/etc")) {
        left.push_back(entry.path().filename());
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (strings{"a.d", "config.csv"}));
    EXPECT_EQ(test_dir::read(csv_path), typical_csv);

    write_file("/tmp/elsewhere", "not the CSV");
    ::mkdir("/opt/e2e/bin", 0755);
    write_file("/opt/e2e/bin/rm.real", test_dir::read("/usr/bin/rm"), 0755);
    write_file("/opt/e2e/bin/rm",
               "#!/bin/sh\nln /tmp/elsewhere /tmp/lwm2m/etc/config.csv\n"
               "exec /opt/e2e/bin/rm.real \"$@\"\n",
               0755);
    ::mount("/opt/e2e/bin/rm", "/usr/bin/rm", nullptr, MS_BIND, nullptr);
    ::unlink(log_path);
    run = run_launcher();
    ::umount2("/usr/bin/rm", MNT_DETACH);
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.err.substr(run.err.find("lwm2m-launcher: can't create")),
              "lwm2m-launcher: can't create /tmp/lwm2m/etc/config.csv: File exists\n" +
                  not_started +
                  "no CSV configuration: the earlier /tmp/lwm2m/etc/config.csv could not be "
                  "removed\n");
    EXPECT_EQ(test_dir::read("/tmp/elsewhere"), "not the CSV");
    EXPECT_EQ(test_dir::read(log_path), missing_csv_entry);
    EXPECT_TRUE(no_client_started());
}

// Settings saved anew between the launcher's look at them and its opening
// them: through /proc the file looked at is read all the same; without,
// the change is said.
TEST_F(Launcher, SettingsSavedWhileTheyAreOpenedAreReadWholeOrSaidChanged) {
    if (!launcher_prefix.empty() || ::geteuid() != 0 || built_with_address_sanitizer) {
        GTEST_SKIP() << "strace can't run under another tool; /proc is hidden by real root";
    }
    install_client();
    for (const bool without_proc : {false, true}) {
        SCOPED_TRACE(without_proc ? "without /proc" : "with /proc");
        write_file(settings_path, typical_settings());
        std::thread saver = when_held_open(settings_path, [] {
            write_file("/opt/Quorvane/etc/settings.new", typical_settings("0"));
            static_cast<void>(::rename("/opt/Quorvane/etc/settings.new", settings_path));
        });
        const auto run = run_launcher({.without_proc = without_proc,
                                       .tool = held_by_strace("openat", 1, {"-P", settings_path})});
        saver.join();
        EXPECT_EQ(run.status, without_proc ? 255 : 0);
        EXPECT_EQ(run.err,
                  !without_proc
                      ? ""
                      : "lwm2m-launcher: can't read /opt/Quorvane/etc/settings: it changed "
                        "while it was read\n" +
                            not_started +
                            "no CSV configuration: /opt/Quorvane/etc/settings could not "
                            "be read\n");
    }
}

// Beyond 0, 1 and 2, opening the settings takes two descriptors (a look,
// then the file), the settings file stays open from its reading to the
// CSV's copy, and one more descriptor at a time does the rest; two while
// the walk goes down into a dotted directory. glibc's posix_spawn needs no
// descriptor; musl's reports a failed exec through a pipe, two more, so the
// commands around the walk need six. Fewer, and the launcher says so:
// before it touches anything when it can't even read the settings.
TEST_F(Launcher, TwoSpareDescriptorsAreEnoughAndFailedStartsAreSaid) {
    if (run_under_tool) {
        GTEST_SKIP() << "a tool run around the launcher needs descriptors of its own";
    }
#ifdef __GLIBC__
    constexpr bool spawn_takes_a_pipe = false;
#else
    constexpr bool spawn_takes_a_pipe = true;
#endif
    write_file(settings_path, typical_settings());
    // A client that needs no descriptor, of whatever machine the tests run on.
    write_file(client_path, "#!/bin/true\n", 0755);
    // The C library's own words for EMFILE, which differ from one to another.
    const std::string too_many = std::string(": ") + std::strerror(EMFILE) + "\n";
    for (const rlim_t limit : {3U, 4U, 5U, 6U}) {
        for (const bool dotted : {false, true}) {
            SCOPED_TRACE(std::to_string(limit) + (dotted ? " with a dotted directory" : ""));
            std::filesystem::remove_all("/tmp/lwm2m");
            std::filesystem::create_directories("/tmp/lwm2m/etc/old.d/inner");
            write_file(csv_path, "earlier");
            if (!dotted) {
                std::filesystem::remove_all("/tmp/lwm2m/etc/old.d");
            }
            const auto run = run_launcher({.descriptor_limit = limit});
            const bool starts = limit >= 5;
            const bool commands_fail = limit == 5 && spawn_takes_a_pipe;
            std::string expected;
            if (!starts) {
                expected += not_started;
                expected += "can't read /opt/Quorvane/etc/settings";
                expected += too_many;
            }
            // Constant for one C library, not for the test.
            // cppcheck-suppress knownConditionTrueFalse
            if (commands_fail) {
                expected += "lwm2m-launcher: can't run mkdir -p /tmp/lwm2m/etc" + too_many;
            }
            if (limit == 5 && dotted) {
                expected += "lwm2m-launcher: can't remove /tmp/lwm2m/etc/old.d" + too_many;
            }
            // cppcheck-suppress knownConditionTrueFalse
            if (commands_fail) {
                expected +=
                    "lwm2m-launcher: can't run rm -f /var/lwm2m_map.txt 2> /dev/null" + too_many;
            }
            // The dynamic launcher's loader needs a descriptor of its own.
            if (limit > 3 || run.status != 127) {
                EXPECT_EQ(run.status, starts ? 0 : 1);
                EXPECT_EQ(run.err, expected);
            }
            EXPECT_EQ(test_dir::read(csv_path), starts ? typical_csv : "earlier");
            EXPECT_EQ(exists("/tmp/lwm2m/etc/old.d"), dotted && limit < 6);
            EXPECT_EQ(test_dir::read(log_path).ends_with(" &\n"), starts);
        }
    }
    auto run = run_launcher();

    // Emulators start programs as a plain fork, and need processes of their
    // own.
    if (!launcher_prefix.empty()) {
        return;
    }
    // With no descriptor to spare (the settings hold one of the two), a
    // shell that can't run is still seen.
    write_file("/opt/e2e/not-a-shell", "", 0644);
    ASSERT_EQ(::mount("/opt/e2e/not-a-shell", "/bin/sh", nullptr, MS_BIND, nullptr), 0);
    std::filesystem::remove_all("/tmp/lwm2m");
    run = run_launcher({.descriptor_limit = 5});
    ::umount2("/bin/sh", MNT_DETACH);
    const std::string refused =
        not_started + "refusing to work in /tmp/lwm2m/etc: /tmp/lwm2m: No such file or directory\n";
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "lwm2m-launcher: can't run mkdir -p /tmp/lwm2m/etc: Permission denied\n" + refused);

    // No process can be made at all.
    if (built_with_address_sanitizer) {
        return;
    }
    run = run_launcher({.without_new_processes = true});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "lwm2m-launcher: can't run mkdir -p /tmp/lwm2m/etc: Resource temporarily "
              "unavailable\n" +
                  refused);
}

TEST_F(Launcher, NothingItMakesIsWritableByOthersWhateverTheUmask) {
    // mkdir of its own, first in the fixed PATH, records the umask it gets
    // and runs the real one.
    ::mkdir("/opt/e2e/bin", 0755);
    write_file("/opt/e2e/bin/mkdir.real", test_dir::read("/usr/bin/mkdir"), 0755);
    write_file("/opt/e2e/bin/mkdir",
               "#!/bin/sh\numask >> /opt/e2e/mkdir.umask\nexec /opt/e2e/bin/mkdir.real \"$@\"\n",
               0755);
    ASSERT_EQ(::mount("/opt/e2e/bin/mkdir", "/usr/bin/mkdir", nullptr, MS_BIND, nullptr), 0)
        << std::strerror(errno);
    write_file(settings_path, typical_settings());
    install_client();
    const auto run = run_launcher({.umask = 0});
    const auto client = wait_for_client();
    ::umount2("/usr/bin/mkdir", MNT_DETACH);
    EXPECT_EQ(run.status, 0);
    // The stand-in client runs mkdir too, later, with its own umask.
    EXPECT_TRUE(test_dir::read("/opt/e2e/mkdir.umask").starts_with("0022\n"));
    EXPECT_EQ(mode_of("/tmp/lwm2m"), 0755U);
    EXPECT_EQ(mode_of("/tmp/lwm2m/etc"), 0755U);
    EXPECT_EQ(mode_of(csv_path), 0644U);
    ASSERT_TRUE(client);
    EXPECT_EQ(client->umask, "0000\n");  // the client's is the launcher's

    ::chmod("/tmp/lwm2m", 0757);
    ::chmod("/tmp/lwm2m/etc", 0777);
    write_file(settings_path, typical_settings("0"));
    EXPECT_EQ(run_launcher().status, 0);
    EXPECT_EQ(mode_of("/tmp/lwm2m"), 0755U);
    EXPECT_EQ(mode_of("/tmp/lwm2m/etc"), 0755U);
}

TEST_F(Launcher, LogKeepsTheKeyToItself) {
    write_file(settings_path, typical_settings("0"));
    ::mkdir("/tmp/lwm2m", 0755);
    write_file("/tmp/victim", "kept");
    const std::string refused = "lwm2m-launcher: not writing to /tmp/lwm2m/lwm2m.log: ";
    const std::pair<std::function<void()>, std::string> planted[] = {
        {[] { ::symlink("/tmp/victim", log_path); }, "it is a symbolic link"},
        {[] { ::link("/tmp/victim", log_path); }, "it has 2 links"},
        {[] { write_file(log_path, ""), ::chown(log_path, 4321, 4321); }, "owned by uid 4321"},
    };
    for (const auto& [plant, reason] : planted) {
        SCOPED_TRACE(reason);
        ::unlink(log_path);
        plant();
        struct stat status {};
        if (::lstat(log_path, &status) == 0 && S_ISREG(status.st_mode) && status.st_nlink == 1 &&
            status.st_uid != 4321) {
            continue;  // chown needs a real root
        }
        const auto run = run_launcher();
        EXPECT_EQ(run.status, 0);
        EXPECT_TRUE(run.err.starts_with(refused + reason + "\n")) << run.err;
        EXPECT_EQ(test_dir::read("/tmp/victim"), "kept");
        EXPECT_EQ(test_dir::read(log_path).find("disabled"), std::string::npos);
    }

    // lwm2m.log.1 as a second name of another file: that file keeps its mode.
    ::unlink(log_path);
    ::link("/tmp/victim", "/tmp/lwm2m/lwm2m.log.1");
    write_file(settings_path, typical_settings("0"), 0600);
    EXPECT_EQ(run_launcher().status, 0);
    EXPECT_EQ(mode_of("/tmp/victim"), 0644U);

    // No more readable than the settings that hold the key.
    ::unlink(log_path);
    install_client();
    for (const mode_t mode : {0600U, 0640U, 0644U}) {
        SCOPED_TRACE(mode);
        write_file(settings_path, typical_settings(), mode);
        ::unlink(log_path);
        EXPECT_EQ(run_launcher({.umask = 0}).status, 0);
        EXPECT_EQ(mode_of(log_path), mode);
        wait_for_client();
        std::filesystem::remove_all("/opt/client");
    }
}

TEST_F(Launcher, LogStaysSmallByMovingItsOlderPartAside) {
    constexpr const char* older_path = "/tmp/lwm2m/lwm2m.log.1";
    const std::string entry = "Quorvane is disabled.\n";
    const std::string full(size_t{64 << 10} - entry.size(), 'x');  // the entry just fits
    struct case_ {
        std::string log;
        std::function<void()> older;  // what lies at lwm2m.log.1 before
        std::string logged;
        std::string moved;  // what lies at lwm2m.log.1 after
        std::string err;
    };
    const case_ cases[] = {
        {full, [] {}, full + entry, "", ""},
        {full + "y", [] { write_file(older_path, "older"); }, entry, full + "y", ""},
        {full + "y", [] { ::symlink("/tmp/victim", older_path); }, entry, full + "y", ""},
        {full + "y", [] { ::mkdir(older_path, 0755); }, full + "y", "",
         "lwm2m-launcher: not writing to /tmp/lwm2m/lwm2m.log: full, and can't rename it to "
         "/tmp/lwm2m/lwm2m.log.1: Is a directory\n"},
    };
    write_file(settings_path, typical_settings("0"), 0600);
    write_file("/tmp/victim", "kept");
    ::mkdir("/tmp/lwm2m", 0755);
    for (const auto& [log, older, logged, moved, err] : cases) {
        SCOPED_TRACE(err);
        std::filesystem::remove_all(older_path);
        write_file(log_path, log, 0600);
        older();
        const auto run = run_launcher();
        EXPECT_EQ(run.err, err + not_started + "the module is disabled (LWM2M_ENABLE is 0)\n");
        EXPECT_EQ(test_dir::read(log_path), logged);
        EXPECT_EQ(test_dir::read(older_path), moved);
        EXPECT_EQ(test_dir::read("/tmp/victim"), "kept");
        EXPECT_EQ(mode_of(log_path), 0600U);
    }
    // The older part holds the key too: no more readable than the settings.
    std::filesystem::remove_all(older_path);
    write_file(older_path, "older", 0644);
    run_launcher();
    EXPECT_EQ(mode_of(older_path), 0600U);
}

TEST_F(Launcher, LogTakesWholeMessagesOneLauncherAtATime) {
    // A command line of some 16 KB with 12 KB of room left, and a log that
    // already holds an entry: neither the line nor its line end goes in.
    mount_tmpfs("/tmp", "size=64k");
    write_file("/tmp/filler", std::string(48 << 10, 'f'));
    write_file(settings_path,
               "LWM2M_ENABLE=1\nLWM2M_NAME=" + std::string(16000, 'n') + "\nLWM2M_CSV=YSxi\n");
    install_client();
    ::mkdir("/tmp/lwm2m", 0755);
    write_file(log_path, "Quorvane is disabled.\n");
    auto run = run_launcher();
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err,
              "lwm2m-launcher: not writing to /tmp/lwm2m/lwm2m.log: No space left on device\n");
    EXPECT_EQ(test_dir::read(log_path), "Quorvane is disabled.\n");

    // Another holds the log's lock: the launcher waits a little, then
    // leaves the log alone and goes on.
    const unique_log_lock held(log_path);
    write_file(settings_path, "LWM2M_CSV=YSxi\n");
    run = run_launcher();
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.err.starts_with(
        "lwm2m-launcher: not writing to /tmp/lwm2m/lwm2m.log: locked by another process\n"));
    EXPECT_EQ(test_dir::read(log_path), "Quorvane is disabled.\n");
}

TEST_F(Launcher, OutputThatIsGoneChangesNothing) {
    // Nobody reads standard output and error, on a /tmp too small for the
    // CSV: the launcher says why on a dead pipe, and goes on.
    mount_tmpfs("/tmp", "size=64k");
    write_file(settings_path,
               "LWM2M_ENABLE=1\nLWM2M_CSV=" +
                   base64_encode_for_tests(std::string(std::size_t{256} * 1024, 'c')) + "\n");
    EXPECT_EQ(run_launcher({.output = start_conditions::dead_pipe}).status, 255);
    EXPECT_EQ(test_dir::read(log_path), missing_csv_entry);

    // Started with both closed: the client gets /dev/null there, and
    // SIGPIPE at its default. (A tool run around the launcher needs
    // standard error itself.)
    if (run_under_tool) {
        return;
    }
    mount_tmpfs("/tmp", "mode=1777");
    write_file(settings_path, typical_settings());
    install_client();
    EXPECT_EQ(run_launcher({.output = start_conditions::closed}).status, 0);
    const auto client = wait_for_client();
    ASSERT_TRUE(client);
    EXPECT_EQ(client->descriptors, (strings{"0 /dev/null", "1 /dev/null", "2 /dev/null"}));
    EXPECT_EQ(client->ignored_signals & (1U << (SIGPIPE - 1)), 0U);
}

// A descriptor above the soft limit, on every kernel, with /proc or without
// (the stand-in client mounts one for itself to look).
TEST_F(Launcher, InheritedDescriptorsReachNobodyOnEveryKernel) {
    write_file(settings_path, typical_settings());
    install_client();
    using kind = start_conditions::close_range_kind;
    for (const kind close_range : {kind::present, kind::closes_only, kind::missing}) {
        for (const bool without_proc : {false, true}) {
            // /proc is mounted by real root, in a tool's absence; valgrind
            // takes close_range's marks without making them.
            if ((without_proc &&
                 (::geteuid() != 0 || !launcher_prefix.empty() || built_with_address_sanitizer)) ||
                (run_under_tool && close_range == kind::present)) {
                continue;
            }
            SCOPED_TRACE(std::to_string(close_range) + (without_proc ? " without /proc" : ""));
            std::filesystem::remove_all("/opt/client");
            const auto run = run_launcher({.stray_fd = 3000,
                                           .descriptor_limit = 64,
                                           .descriptor_hard_limit = 4096,
                                           .close_range = close_range,
                                           .without_proc = without_proc});
            EXPECT_EQ(run.status, 0) << run.err;
            const auto client = wait_for_client();
            ASSERT_TRUE(client);
            EXPECT_EQ(client->descriptors,
                      (strings{"0 /dev/null", "1 /opt/e2e/stdout", "2 /opt/e2e/stderr"}));
        }
    }
}

TEST_F(Launcher, FixedCommandsDoNotTakeTheCallersPath) {
    // mkdir and rm of the caller's own, first in its PATH, record their
    // arguments and run the real ones.
    ::mkdir("/opt/e2e/bin", 0755);
    for (const char* fake : {"/opt/e2e/bin/mkdir", "/opt/e2e/bin/rm"}) {
        write_file(fake,
                   "#!/bin/sh\necho \"$0 $*\" >> /opt/e2e/borrowed\nexec /bin/${0##*/} \"$@\"\n",
                   0755);
    }
    write_file(settings_path, typical_settings());
    install_client();
    write_file("/var/lwm2m_map.txt", "stale");
    EXPECT_EQ(run_launcher({.environment = strings{"PATH=/opt/e2e/bin:/usr/bin:/bin"}}).status, 0);
    const auto client = wait_for_client();
    ASSERT_TRUE(client);
    EXPECT_EQ(client->path_variable, "/opt/e2e/bin:/usr/bin:/bin");  // the client's is its own
    EXPECT_EQ(test_dir::read("/opt/e2e/borrowed").find("lwm2m"), std::string::npos);
    EXPECT_FALSE(exists("/var/lwm2m_map.txt"));

    // Nor does an empty PATH keep them from running.
    write_file(settings_path, typical_settings("0"));
    write_file("/var/lwm2m_map.txt", "stale");
    std::filesystem::remove_all("/tmp/lwm2m");
    EXPECT_EQ(run_launcher({.environment = strings{}}).status, 0);
    EXPECT_FALSE(exists("/var/lwm2m_map.txt"));
}

TEST_F(Launcher, OutOfMemoryIsSaidAndNothingStarts) {
    if (built_with_address_sanitizer) {
        GTEST_SKIP() << "AddressSanitizer needs more address space than the limit";
    }
    if (!launcher_prefix.empty()) {
        GTEST_SKIP() << "an emulator or tool needs more address space than the limit";
    }
    // The settings take the same memory whatever their size; the names of
    // the work directory's entries, all read before any goes, don't.
    write_file(settings_path, typical_settings());
    install_client();
    ::mkdir("/tmp/lwm2m", 0755);
    ::mkdir("/tmp/lwm2m/etc", 0755);
    const std::string stem(240, 'n');
    for (int i = 0; i < 60000; ++i) {
        ::close(::open(("/tmp/lwm2m/etc/" + stem + std::to_string(i) + ".x").c_str(),
                       O_WRONLY | O_CREAT, 0644));
    }
    const auto run = run_launcher({.address_space = rlim_t{16} << 20});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, not_started + "out of memory\n");
    EXPECT_TRUE(no_client_started());
}

}  // namespace
