// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// The steps of the floor programs: what every start does whatever the
// settings hold.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <initializer_list>

// The two fixed shell commands, through /bin/sh.
inline void run_fixed_commands() {
    for (const char* command :
         {"mkdir -p /tmp/lwm2m/etc", "rm -f /var/lwm2m_map.txt 2> /dev/null"}) {
        const int ignored = std::system(command);
        static_cast<void>(ignored);
    }
}

// The start of one program in the background.
inline void start_client() {
    if (::fork() == 0) {
        char program[] = "/opt/Quorvane/bin/lwm2mclient";
        char* const argv[] = {program, nullptr};
        ::execv(program, argv);
        ::_exit(127);
    }
}
