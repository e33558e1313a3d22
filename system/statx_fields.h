// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// What statx tells beyond the C library's header. musl (1.2.5, the first
// with statx) declares only the basic fields: no mount ID, no attribute
// constants. The kernel's values are fixed by its interface, so they are
// given here wherever the C library lacks them.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#ifndef STATX_MNT_ID
#define STATX_MNT_ID 0x1000U
#endif
#ifndef STATX_ATTR_IMMUTABLE
#define STATX_ATTR_IMMUTABLE 0x10U
#endif
#ifndef STATX_ATTR_APPEND
#define STATX_ATTR_APPEND 0x20U
#endif
#ifndef STATX_ATTR_MOUNT_ROOT
#define STATX_ATTR_MOUNT_ROOT 0x2000U
#endif

// The mount ID the kernel wrote, meaningful where STATX_MNT_ID is in
// stx_mask: its member where the C library names it, otherwise the same
// bytes (offset 0x90 of the kernel's struct statx, reserved in musl's).
template <typename Status>
std::uint64_t statx_mount_id(const Status& status) {
    if constexpr (requires { status.stx_mnt_id; }) {
        return status.stx_mnt_id;
    } else {
        constexpr std::size_t offset = 0x90;
        static_assert(sizeof(Status) >= offset + sizeof(std::uint64_t));
        std::uint64_t id = 0;
        std::memcpy(&id, reinterpret_cast<const unsigned char*>(&status) + offset, sizeof id);
        return id;
    }
}
