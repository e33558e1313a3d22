// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// The work no launcher can avoid, as one program: the two fixed shell
// commands through /bin/sh, then the start of one program in the background.
// (The dotted entries of the work directory are removed in the launcher
// itself; in an empty directory that costs next to nothing.)
// Whole-process figures of the launcher are given as a ratio to this.
#include <unistd.h>

#include <cstdlib>
#include <initializer_list>

int main() {
    for (const char* command :
         {"mkdir -p /tmp/lwm2m/etc", "rm -f /var/lwm2m_map.txt 2> /dev/null"}) {
        const int ignored = std::system(command);
        static_cast<void>(ignored);
    }
    if (::fork() == 0) {
        char program[] = "/opt/Quorvane/bin/lwm2mclient";
        char* const argv[] = {program, nullptr};
        ::execv(program, argv);
        ::_exit(127);
    }
    return 0;
}
