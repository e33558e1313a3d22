// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "exec_forecast.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <vector>

#include "dir_list.h"
#include "file_io.h"

namespace {

// This machine's ELF identity, as its compiler builds for it.
using elf_header = std::conditional_t<sizeof(void*) == 8, Elf64_Ehdr, Elf32_Ehdr>;
using program_header = std::conditional_t<sizeof(void*) == 8, Elf64_Phdr, Elf32_Phdr>;
constexpr unsigned char own_class = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
constexpr unsigned char own_byte_order =
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? ELFDATA2LSB : ELFDATA2MSB;
#if defined(__x86_64__)
constexpr int own_machine = EM_X86_64;
#elif defined(__aarch64__)
constexpr int own_machine = EM_AARCH64;
#elif defined(__arm__)
constexpr int own_machine = EM_ARM;
#elif defined(__mips__)
constexpr int own_machine = EM_MIPS;
#elif defined(__i386__)
constexpr int own_machine = EM_386;
#elif defined(__riscv)
constexpr int own_machine = EM_RISCV;
#else
constexpr int own_machine = -1;  // not judged
#endif

// The kernel reads this much of a program to choose how to run it.
constexpr std::size_t head_size = 256;

// The byte at `at` of the hexadecimal text `hex`, or `otherwise`.
unsigned hex_byte(std::string_view hex, std::size_t at, unsigned otherwise) {
    unsigned value = otherwise;
    if (at * 2 + 2 <= hex.size()) {
        std::from_chars(hex.data() + at * 2, hex.data() + at * 2 + 2, value, 16);
    }
    return value;
}

// The binfmt_misc handler, enabled, whose magic and mask match `head`.
std::string binfmt_misc_handler(std::string_view head) {
    const unique_fd handlers(
        ::open("/proc/sys/fs/binfmt_misc", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::vector<std::string> names;
    if (!handlers || list_directory(handlers.get(), names) != 0) {
        return {};
    }
    std::string found;
    for (const std::string& name : names) {
        const unique_fd entry(::openat(handlers.get(), name.c_str(), O_RDONLY | O_CLOEXEC));
        char text[1024];
        const ssize_t got = entry ? ::read(entry.get(), text, sizeof text) : -1;
        const std::string_view lines(text, static_cast<std::size_t>(got > 0 ? got : 0));
        if (name == "status" && !lines.starts_with("enabled")) {
            return {};  // binfmt_misc as a whole is off
        }
        // "enabled", then "interpreter ...", "flags: ...", "offset N",
        // "magic HEX" and "mask HEX", one a line.
        const auto field = [&](std::string_view key) {
            const auto at = lines.find("\n" + std::string(key) + " ");
            const auto begin = at == std::string_view::npos ? lines.size() : at + key.size() + 2;
            return lines.substr(begin, lines.find('\n', begin) - begin);
        };
        const std::string_view magic = field("magic");
        const std::string_view offset_text = field("offset");
        std::size_t offset = 0;
        std::from_chars(offset_text.data(), offset_text.data() + offset_text.size(), offset);
        bool matches = lines.starts_with("enabled\n") && !magic.empty();
        for (std::size_t i = 0; matches && i < magic.size() / 2; ++i) {
            matches = offset + i < head.size() &&
                      (static_cast<unsigned char>(head[offset + i]) &
                       hex_byte(field("mask"), i, 0xff)) == hex_byte(magic, i, 0);
        }
        found = matches && found.empty() ? name : found;
    }
    return found;
}

exec_forecast refused(int error) {
    return {error, {}};
}

exec_forecast foresee(const char* path, int depth) {
    struct stat status {};
    struct statvfs file_system {};
    if (::stat(path, &status) != 0) {
        return refused(errno);
    }
    if (!S_ISREG(status.st_mode) ||
        (::statvfs(path, &file_system) == 0 && (file_system.f_flag & ST_NOEXEC) != 0)) {
        return refused(EACCES);
    }
    if (::faccessat(AT_FDCWD, path, X_OK, AT_EACCESS) != 0) {
        return refused(errno);
    }
    const unique_fd file(::open(path, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    char bytes[head_size];
    const ssize_t got = file ? ::pread(file.get(), bytes, sizeof bytes, 0) : -1;
    if (got < 0) {
        return {};  // execute-only: not looked into
    }
    const std::string_view head(bytes, static_cast<std::size_t>(got));
    if (head.starts_with("#!")) {
        // The interpreter's name: after blanks, up to a blank or the line end.
        const auto begin = head.find_first_not_of(" \t", 2);
        const auto end = head.find_first_of(" \t\n", begin);
        if (begin == std::string_view::npos || end == std::string_view::npos || begin == end) {
            return refused(ENOEXEC);
        }
        return depth == 4
                   ? refused(ELOOP)
                   : foresee(std::string(head.substr(begin, end - begin)).c_str(), depth + 1);
    }
    elf_header header{};
    const bool elf = head.size() >= sizeof header && head.starts_with(ELFMAG);
    if (elf) {
        std::memcpy(&header, head.data(), sizeof header);
    }
    const bool ours = elf && header.e_ident[EI_CLASS] == own_class &&
                      header.e_ident[EI_DATA] == own_byte_order &&
                      (own_machine < 0 || header.e_machine == own_machine);
    if (!ours && (!elf || depth == 0)) {
        std::string handler = binfmt_misc_handler(head);
        return {handler.empty() ? ENOEXEC : 0, std::move(handler)};
    }
    if (!ours) {
        return {};  // an interpreter's machine is not judged: under an
                    // emulator, the build machine runs it
    }
    for (unsigned i = 0; i < header.e_phnum; ++i) {
        program_header segment{};
        if (::pread(file.get(), &segment, sizeof segment,
                    static_cast<off_t>(header.e_phoff + std::size_t{i} * header.e_phentsize)) !=
            static_cast<ssize_t>(sizeof segment)) {
            return refused(ENOEXEC);
        }
        if (segment.p_type == PT_INTERP) {
            std::string interpreter(segment.p_filesz, '\0');
            if (segment.p_filesz == 0 || segment.p_filesz > 4096 ||
                ::pread(file.get(), interpreter.data(), interpreter.size(),
                        static_cast<off_t>(segment.p_offset)) !=
                    static_cast<ssize_t>(interpreter.size())) {
                return refused(ENOEXEC);
            }
            const exec_forecast loader = foresee(interpreter.c_str(), 4);
            return refused(loader.error == ELOOP ? ENOEXEC : loader.error);
        }
    }
    return {};
}

}  // namespace

exec_forecast foresee_exec(const char* path) {
    return foresee(path, 0);
}
