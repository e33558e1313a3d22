#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Builds the project as an image build does, on a machine without the test
# tools: in a private mount namespace, GoogleTest, Google Benchmark, clang,
# valgrind and qemu are hidden under empty files and directories. Then:
#  - host, BUILD_TESTING=OFF: CXXFLAGS=-g from the environment reaches the
#    compiler and the build tree keeps the symbols; `cmake --install --strip`
#    into a staging root (DESTDIR) strips what it installs, and installs the
#    files the README lists; two clean builds of the sources exported
#    without their git history (as `git archive` gives them), one with the
#    prefix /usr and pkg-config there, one with "/" and pkg-config hidden,
#    are dated by CHANGELOG.md, install the same files (the units under
#    <prefix>/lib, whatever pkg-config would say), give byte-identical
#    tarballs, and lintian finds nothing in the Debian package;
#  - the aarch64 toolchain file, BUILD_TESTING=OFF: an aarch64 program, and
#    packages labelled arm64; only CC/CXX set to the cross compiler: still
#    arm64;
#  - demo/demo.sh runs.
# The aarch64 part needs the cross compiler (g++-aarch64-linux-gnu), which
# CI has; elsewhere it is left out when missing.
# Usage: bare_build_test.sh SOURCE_DIR   (exit 77: skipped, no namespace here)
set -eu
source_dir=$(cd "$1" && pwd)

if [ "${2:-}" != --inside ]; then
    for namespace in "unshare --mount --propagation private" \
        "unshare --mount --propagation private --map-root-user"; do
        if $namespace true 2> /dev/null; then
            exec $namespace sh "$0" "$source_dir" --inside
        fi
    done
    [ -z "${CI:-}" ] || { echo "no private mount namespace can be made here" >&2; exit 1; }
    echo "skipped: no private mount namespace can be made here"
    exit 77
fi

work=$(mktemp -d)
hidden=
trap 'for path in $hidden; do umount "$path"; done; rm -rf "$work"' EXIT
: > "$work/empty"
hide() {
    for pattern in "$@"; do
        for path in $pattern; do
            [ -e "$path" ] || continue
            path=$(readlink -f "$path")
            hidden="$path $hidden"
            if [ -d "$path" ]; then
                mount -t tmpfs -o size=4k tmpfs "$path"
            else
                mount --bind "$work/empty" "$path"
            fi
        done
    done
}
hide /usr/include/gtest /usr/include/gmock /usr/src/googletest /usr/lib/*/cmake/GTest \
    /usr/include/benchmark /usr/lib/*/cmake/benchmark \
    /usr/bin/clang* /usr/lib/llvm-* \
    /usr/bin/valgrind /usr/libexec/valgrind /usr/lib/*/valgrind \
    /usr/bin/qemu-aarch64*
for tool in clang clang++ valgrind qemu-aarch64; do
    if command -v "$tool" > /dev/null && [ -s "$(command -v "$tool")" ]; then
        echo "FAIL: $tool is still there"
        exit 1
    fi
done

fail() { echo "FAIL: $*"; exit 1; }
configure() {  # configure BUILD_DIR [ARGS...]: the sources of the current directory
    build=$1
    shift
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel \
        -DBUILD_TESTING=OFF "$@" > "$build.log" 2>&1 || { cat "$build.log"; fail "configure $build"; }
}
has_symbols() { readelf -S "$1" | grep -q '\.symtab'; }

cd "$source_dir"
# pkg-config, where it is, answers with a place of its own for systemd's
# units: a build that asked it would put them there.
mkdir "$work/pc"
printf 'systemdsystemunitdir=/pkg-config/says/systemd/system\nName: systemd\nDescription: -\nVersion: 252\n' \
    > "$work/pc/systemd.pc"
export PKG_CONFIG_PATH="$work/pc"
echo "== host"
CXXFLAGS=-g configure "$work/host"
cmake --build "$work/host" > "$work/host.build.log" 2>&1 || { cat "$work/host.build.log"; fail "build"; }
program=$work/host/launcher/lwm2m-launcher
readelf -S "$program" | grep -q '\.debug_info' || fail "CXXFLAGS=-g did not reach the compiler"
has_symbols "$program" || fail "the build tree's program is stripped"
DESTDIR=$work/stage cmake --install "$work/host" --strip > /dev/null
installed=$work/stage/opt/Quorvane/bin/lwm2m-launcher
[ -x "$installed" ] || fail "nothing installed at $installed"
! has_symbols "$installed" || fail "cmake --install --strip left symbols"
installed_files() { (cd "$1" && find . ! -type d | sort); }

echo "== two clean builds of an exported tree (no git history), the same files"
# The sources as a source tarball or `git archive` holds them; uncommitted
# changes to tracked files included, so that the tree under test is built.
mkdir "$work/export"
if tree=$(git -C "$source_dir" stash create 2> /dev/null) && tree=${tree:-HEAD} &&
    git -C "$source_dir" archive "$tree" | tar -x -C "$work/export"; then
    :
else
    tar -C "$source_dir" --exclude=./.git --exclude=./build -cf - . | tar -x -C "$work/export"
fi
# The first with the prefix of image builds, /usr, and pkg-config there;
# the second with "/" and no pkg-config.
for copy in usr root; do
    prefix=/usr
    if [ $copy = root ]; then
        prefix=/
        hide /usr/bin/pkg-config /usr/bin/pkgconf /usr/bin/*-pkg-config
        ! command -v pkg-config > /dev/null || [ ! -s "$(command -v pkg-config)" ] ||
            fail "pkg-config is still there"
    fi
    (unset SOURCE_DATE_EPOCH && cd "$work/export" && configure "$work/$copy" -DCMAKE_INSTALL_PREFIX=$prefix)
    grep -q 'Source date: .*from the newest entry of CHANGELOG.md' "$work/$copy.log" ||
        { cat "$work/$copy.log"; fail "configure did not date the build by CHANGELOG.md"; }
    cmake --build "$work/$copy" > "$work/$copy.build.log" 2>&1 || fail "build $copy"
    (cd "$work/$copy" && cpack -G "DEB;TGZ" -B "$work/$copy/packages" > /dev/null) || fail "cpack"
done
for package in "$work"/root/packages/*.tar.gz; do
    cmp "$package" "$work/usr/packages/${package##*/}" || fail "${package##*/} differs"
done
# What an image gets: the Debian package's files (which the package test
# holds to the README's list) but lintian's overrides; with /usr, the units
# in /usr/lib.
dpkg-deb -c "$work"/root/packages/*.deb | awk '!/^d/ && !/lintian/ { print $6 }' | sort > "$work/expected"
installed_files "$work/stage" | diff "$work/expected" - || fail "the installed files, prefix /"
DESTDIR=$work/stage-usr cmake --install "$work/usr" > /dev/null
installed_files "$work/stage-usr" > "$work/usr.list"
sed 's,^\./lib/,./usr/lib/,' "$work/expected" | sort | diff - "$work/usr.list" ||
    fail "the installed files, prefix /usr"
if command -v lintian > /dev/null; then
    lintian --fail-on error,warning "$work"/root/packages/*.deb > "$work/lintian" 2>&1 ||
        { cat "$work/lintian"; fail "lintian, on the package of an exported tree"; }
fi

if ! command -v aarch64-linux-gnu-g++ > /dev/null; then
    [ -z "${CI:-}" ] || fail "no aarch64 cross compiler (g++-aarch64-linux-gnu)"
    echo "== aarch64: skipped, no cross compiler (g++-aarch64-linux-gnu)"
else
    echo "== aarch64 toolchain file"
    configure "$work/arm" -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/aarch64-linux-gnu.cmake"
    cmake --build "$work/arm" > "$work/arm.build.log" 2>&1 || { cat "$work/arm.build.log"; fail "build"; }
    readelf -h "$work/arm/launcher/lwm2m-launcher" | grep -q AArch64 || fail "not an aarch64 program"
    (cd "$work/arm" && cpack -G DEB > /dev/null) || fail "cpack"
    ls "$work/arm"/lwm2m-launcher_*_arm64.deb > /dev/null || fail "the package is not labelled arm64"

    echo "== aarch64 compiler given as CC/CXX only"
    CC=aarch64-linux-gnu-gcc CXX=aarch64-linux-gnu-g++ configure "$work/cc"
    grep -q 'CPACK_DEBIAN_PACKAGE_ARCHITECTURE "arm64"' "$work/cc/CPackConfig.cmake" ||
        fail "CPack's architecture is not arm64"
fi

echo "== demo"
"$source_dir/demo/demo.sh" > "$work/demo.out" 2>&1 || { cat "$work/demo.out"; fail "demo"; }
grep -qx '== exit status: 0' "$work/demo.out" || { cat "$work/demo.out"; fail "demo output"; }
echo "bare build: ok"
