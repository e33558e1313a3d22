// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// What std::terminate does in the launcher, under the runtime's own name.
// libstdc++'s default handler names the exception, and so brings the C++
// name demangler (some 35 KiB) into a program that links the C++ runtime
// statically. main answers every std::exception: this only runs on a bug.
#include <cstdlib>

#include "complain.h"

// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp,cert-dcl58-cpp)
namespace __gnu_cxx {

[[noreturn]] void __verbose_terminate_handler();

void __verbose_terminate_handler() {
    complain({"terminated by an uncaught exception"});
    std::abort();
}

}  // namespace __gnu_cxx
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp,cert-dcl58-cpp)
