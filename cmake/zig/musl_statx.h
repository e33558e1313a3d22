/* SPDX-License-Identifier: Apache-2.0
 * Copyright 2026 The lwm2m-launcher authors
 *
 * The statx interface of musl 1.2.5 (OpenWrt 24.10's C library), for zig's
 * musl 1.2.4, which has none; zig's compiler wrappers include it first in
 * every file. It declares what 1.2.5 declares, no more (no STATX_MNT_ID, no
 * attribute constants, no stx_mnt_id member), so the launcher meets the
 * same header here as on the gateway; and like 1.2.5 it falls back to
 * fstatat where the kernel has no statx (before Linux 4.11).
 */
#pragma once
/* Its code is the C library's, not the project's: no project warnings. */
#pragma GCC system_header

#include <sys/stat.h>

#ifndef STATX_TYPE
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#define STATX_TYPE 1U
#define STATX_MODE 2U
#define STATX_NLINK 4U
#define STATX_UID 8U
#define STATX_GID 0x10U
#define STATX_ATIME 0x20U
#define STATX_MTIME 0x40U
#define STATX_CTIME 0x80U
#define STATX_INO 0x100U
#define STATX_SIZE 0x200U
#define STATX_BLOCKS 0x400U
#define STATX_BASIC_STATS 0x7ffU
#define STATX_BTIME 0x800U
#define STATX_ALL 0xfffU

struct statx_timestamp {
    int64_t tv_sec;
    uint32_t tv_nsec, __pad;
};

struct statx {
    uint32_t stx_mask;
    uint32_t stx_blksize;
    uint64_t stx_attributes;
    uint32_t stx_nlink;
    uint32_t stx_uid;
    uint32_t stx_gid;
    uint16_t stx_mode;
    uint16_t __pad0[1];
    uint64_t stx_ino;
    uint64_t stx_size;
    uint64_t stx_blocks;
    uint64_t stx_attributes_mask;
    struct statx_timestamp stx_atime;
    struct statx_timestamp stx_btime;
    struct statx_timestamp stx_ctime;
    struct statx_timestamp stx_mtime;
    uint32_t stx_rdev_major;
    uint32_t stx_rdev_minor;
    uint32_t stx_dev_major;
    uint32_t stx_dev_minor;
    uint64_t __pad1[14];
};

static inline int statx(int dir, const char* __restrict path, int flags, unsigned mask,
                        struct statx* __restrict out) {
    long got = syscall(SYS_statx, dir, path, flags, mask, out);
    if (got == 0 || errno != ENOSYS)
        return (int)got;
    struct stat st;
    if (fstatat(dir, path, &st, flags) != 0)
        return -1;
    memset(out, 0, sizeof *out);
    out->stx_mask = STATX_BASIC_STATS;
    out->stx_blksize = (uint32_t)st.st_blksize;
    out->stx_nlink = (uint32_t)st.st_nlink;
    out->stx_uid = st.st_uid;
    out->stx_gid = st.st_gid;
    out->stx_mode = (uint16_t)st.st_mode;
    out->stx_ino = st.st_ino;
    out->stx_size = (uint64_t)st.st_size;
    out->stx_blocks = (uint64_t)st.st_blocks;
    out->stx_atime.tv_sec = st.st_atim.tv_sec;
    out->stx_atime.tv_nsec = (uint32_t)st.st_atim.tv_nsec;
    out->stx_mtime.tv_sec = st.st_mtim.tv_sec;
    out->stx_mtime.tv_nsec = (uint32_t)st.st_mtim.tv_nsec;
    out->stx_ctime.tv_sec = st.st_ctim.tv_sec;
    out->stx_ctime.tv_nsec = (uint32_t)st.st_ctim.tv_nsec;
    out->stx_rdev_major = major(st.st_rdev);
    out->stx_rdev_minor = minor(st.st_rdev);
    out->stx_dev_major = major(st.st_dev);
    out->stx_dev_minor = minor(st.st_dev);
    return 0;
}
#endif
