// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// What execve will answer for a program, foreseen by the kernel's own rules
// without running it.
#pragma once

#include <string>

struct exec_forecast {
    int error = 0;        // what execve would answer: 0, or its errno
    std::string handler;  // the binfmt_misc handler that would run it, if one would
};

// Foresees execve of `path` as the effective user, as Linux decides it:
//  - the path must lead to a regular file (else EACCES) that the user may
//    execute, on a file system not mounted noexec (EACCES);
//  - an ELF file must be of this machine: its class, byte order and machine
//    (else ENOEXEC), and its program interpreter (PT_INTERP) must be there
//    and executable, by the rules above;
//  - a file beginning "#!" names an interpreter judged by the same rules, up
//    to four levels deep (ELOOP beyond), its own machine aside;
//  - anything else, like an ELF file of another machine, is run only by a
//    binfmt_misc handler registered for it (`handler`), or refused
//    (ENOEXEC).
// A file the user may execute but not read is not looked into.
exec_forecast foresee_exec(const char* path);
