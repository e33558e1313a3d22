// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// Stands in for the LwM2M client where a test finds the client by its
// executable, as the init script does: a program of its own that takes any
// arguments and waits until a signal ends it.
#include <unistd.h>

int main() {
    for (;;) {
        ::pause();
    }
}
