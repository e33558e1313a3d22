// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// A check that holds in every build type: a fuzz target reports a failed
// check by aborting, which libFuzzer and the replay runner both catch.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                             \
    do {                                                                                  \
        if (!(condition)) {                                                               \
            static_cast<void>(std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, \
                                           __LINE__, #condition));                        \
            std::abort();                                                                 \
        }                                                                                 \
    } while (false)
