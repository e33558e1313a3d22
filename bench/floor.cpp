// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// The work no launcher can avoid, as one program: the two fixed shell
// commands through /bin/sh, then the start of one program in the background.
// (The dotted entries of the work directory are removed in the launcher
// itself; in an empty directory that costs next to nothing.)
// Whole-process figures of the launcher are given as a ratio to this.
#include "floor_steps.h"

int main() {
    run_fixed_commands();
    start_client();
    return 0;
}
