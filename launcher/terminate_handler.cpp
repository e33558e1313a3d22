// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// What std::terminate does in the launcher.
//
// libstdc++'s default handler names the exception that ended the program,
// and so brings the whole C++ name demangler into a program that links the
// C++ runtime statically: some 35 KiB of a 130 KiB launcher. The launcher
// catches what it throws (main answers every std::exception), so this only
// ever runs on a bug: it says so on standard error and aborts, as the
// default handler does after its message.
#include <cstdlib>

#include "complain.h"

// The runtime's own name, which this definition replaces.
// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp,cert-dcl58-cpp)
namespace __gnu_cxx {

[[noreturn]] void __verbose_terminate_handler();

void __verbose_terminate_handler() {
    complain({"terminated by an uncaught exception"});
    std::abort();
}

}  // namespace __gnu_cxx
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp,cert-dcl58-cpp)
