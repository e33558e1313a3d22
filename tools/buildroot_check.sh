#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Checks the Buildroot package (packaging/buildroot, a BR2_EXTERNAL tree)
# offline, with the real tools, and fails on any finding:
#  1. Buildroot's utils/check-package on every file of the tree;
#  2. `make lwm2m-launcher` in a build of its own with this tree as
#     BR2_EXTERNAL, for aarch64 with an external toolchain, once with
#     BusyBox init and once with systemd; `file` on the launcher it installs
#     in the target, and each init system's start-up files looked for.
# Offline, two things stand in the way, and this script goes round them
# without touching Buildroot's tree:
#  - Buildroot refuses Debian's cross compiler as an external toolchain: it
#    was configured with --with-sysroot=/, and Buildroot would take this
#    machine's / for the target's C library. So the toolchain is a directory
#    of wrappers that call Debian's aarch64-linux-gnu tools with --sysroot
#    set to a sysroot made from /usr/aarch64-linux-gnu, where Debian keeps
#    the target's C library and headers.
#  - Buildroot builds some host tools from sources it downloads (tar 1.35,
#    which this machine's 1.34 is older than; pkgconf for CMake packages).
#    Through Buildroot's own override file (local.mk), each is given a
#    source directory whose configure and Makefile install the tool that
#    Debian built, from /usr/bin, into Buildroot's host directory.
# Usage: buildroot_check.sh [BUILDROOT_DIR]   (default: $LAUNCHER_BUILDROOT_DIR)
# Exit: 0 no finding, 1 a finding or a failed step, 2 usage, 77 skipped (no
# Buildroot tree given).
set -eu
[ $# -le 1 ] || { echo "usage: buildroot_check.sh [BUILDROOT_DIR]" >&2; exit 2; }
buildroot=${1:-${LAUNCHER_BUILDROOT_DIR:-}}
[ -n "$buildroot" ] || { echo "skipped: no Buildroot tree (LAUNCHER_BUILDROOT_DIR)"; exit 77; }
buildroot=$(cd "$buildroot" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
external=$source_dir/packaging/buildroot
# Debian's tools, never another python or compiler the caller's PATH has.
PATH=/usr/sbin:/usr/bin:/sbin:/bin
export PATH

work=$(mktemp -d /var/tmp/buildroot_check.XXXXXX)
trap 'rm -rf "$work"' EXIT
# shellcheck source=tools/check_steps.sh
. "$source_dir/tools/check_steps.sh"

step "check-package on the BR2_EXTERNAL tree" sh -c 'cd "$1" && utils/check-package -b \
    "$2"/external.desc "$2"/external.mk "$2"/Config.in "$2"/package/*/*' sh "$buildroot" "$external" ||
    true

# The toolchain: wrappers with the sysroot of Debian's cross C library.
# Buildroot finds the sysroot from where libc.a really is (links
# resolved), so the libraries and headers are copied, not linked.
sysroot=$work/sysroot
mkdir -p "$sysroot/usr" "$work/toolchain/bin"
cp -a /usr/aarch64-linux-gnu/lib "$sysroot/usr/lib"
cp -a /usr/aarch64-linux-gnu/include "$sysroot/usr/include"
ln -s usr/lib "$sysroot/lib"
ln -s /usr/aarch64-linux-gnu "$sysroot/usr/aarch64-linux-gnu"
for tool in /usr/bin/aarch64-linux-gnu-*; do
    name=${tool##*/}
    case $name in
        *-gcc | *-g++ | *-cpp | *-gcc-12 | *-g++-12 | *-cpp-12)
            # Buildroot asks the compiler where its sysroot is: -v alone
            # shows how it was configured, -print-file-name=libc.a where
            # the C library is. Both answer with this sysroot, as the
            # wrapper runs the compiler with it.
            cat > "$work/toolchain/bin/$name" << WRAPPER
#!/bin/sh
case "\$*" in
    -v)
        $tool -v 2>&1 | sed 's| --with-sysroot=/ | --with-sysroot=$sysroot |' >&2
        exit 0 ;;
    *-print-file-name=*)
        found=\$(readlink -f "\$($tool --sysroot=$sysroot "\$@")")
        case \$found in
            /usr/aarch64-linux-gnu/lib/*) echo "$sysroot/usr/lib/\${found#/usr/aarch64-linux-gnu/lib/}" ;;
            *) echo "\$found" ;;
        esac
        exit 0 ;;
esac
exec $tool --sysroot=$sysroot "\$@"
WRAPPER
            chmod 755 "$work/toolchain/bin/$name" ;;
        *) ln -s "$tool" "$work/toolchain/bin/$name" ;;
    esac
done

# Host tools Debian built, in place of those Buildroot would download.
stub() {  # stub PACKAGE TOOL...: a source tree that installs TOOLs from /usr/bin
    dir=$work/stubs/$1
    shift
    mkdir -p "$dir"
    printf '#!/bin/sh\nprefix=/usr\nfor a; do case $a in --prefix=*) prefix=${a#--prefix=} ;; esac; done\necho "prefix=$prefix" > Makefile.prefix\n' > "$dir/configure"
    chmod 755 "$dir/configure"
    {
        echo "include Makefile.prefix"
        echo "all:"
        echo "install:"
        for tool in "$@"; do
            printf '\tinstall -D -m 0755 /usr/bin/%s $(DESTDIR)$(prefix)/bin/%s\n' "$tool" "$tool"
        done
    } > "$dir/Makefile"
}
stub tar tar
stub pkgconf pkgconf
cat > "$work/local.mk" << MK
HOST_TAR_OVERRIDE_SRCDIR = $work/stubs/tar
HOST_PKGCONF_OVERRIDE_SRCDIR = $work/stubs/pkgconf
MK

cat > "$work/defconfig" << CONF
BR2_aarch64=y
BR2_TOOLCHAIN_EXTERNAL=y
BR2_TOOLCHAIN_EXTERNAL_CUSTOM=y
BR2_TOOLCHAIN_EXTERNAL_PREINSTALLED=y
BR2_TOOLCHAIN_EXTERNAL_PATH="$work/toolchain"
BR2_TOOLCHAIN_EXTERNAL_CUSTOM_PREFIX="aarch64-linux-gnu"
BR2_TOOLCHAIN_EXTERNAL_GCC_12=y
BR2_TOOLCHAIN_EXTERNAL_HEADERS_6_1=y
BR2_TOOLCHAIN_EXTERNAL_CUSTOM_GLIBC=y
BR2_TOOLCHAIN_EXTERNAL_CXX=y
BR2_TOOLCHAIN_EXTERNAL_OPENMP=y
BR2_TOOLCHAIN_EXTERNAL_HAS_SSP=y
BR2_TOOLCHAIN_EXTERNAL_HAS_SSP_STRONG=y
# BR2_TOOLCHAIN_EXTERNAL_INET_RPC is not set
BR2_DL_DIR="$work/dl"
BR2_PRIMARY_SITE=""
BR2_BACKUP_SITE=""
BR2_PACKAGE_OVERRIDE_FILE="$work/local.mk"
BR2_PACKAGE_LWM2M_LAUNCHER=y
CONF
make_buildroot() { make -C "$buildroot" O="$work/output-$init" BR2_EXTERNAL="$external" "$@"; }
# Once with BusyBox init (the default) and once with systemd: each init
# system gets its own start-up files from the package's hooks.
for init in busybox systemd; do
    { cat "$work/defconfig"; [ "$init" = busybox ] || echo BR2_INIT_SYSTEMD=y; } > "$work/defconfig-$init"
    step "configure ($init init): aarch64, external toolchain, the package selected" \
        make_buildroot BR2_DEFCONFIG="$work/defconfig-$init" defconfig || true
    grep -qx "BR2_INIT_$(echo "$init" | tr '[:lower:]' '[:upper:]')=y" "$work/output-$init/.config" ||
        { echo "FAIL: Buildroot did not take $init init"; failed=1; continue; }
    step "make lwm2m-launcher ($init init)" make_buildroot lwm2m-launcher || true
    target=$work/output-$init/target
    case $init in
        busybox) expected="opt/Quorvane/bin/lwm2m-launcher etc/init.d/S50lwm2m-launcher" ;;
        systemd) expected="usr/lib/systemd/system/lwm2m-launcher.service
            usr/lib/systemd/system/lwm2m-launcher-settings.path
            usr/lib/systemd/system/lwm2m-launcher-settings.service
            usr/lib/tmpfiles.d/lwm2m-launcher.conf" ;;
    esac
    for file in $expected; do
        [ -f "$target/$file" ] || { echo "FAIL: $init init: nothing installed at target/$file"; failed=1; }
    done
done
launcher=$work/output-busybox/target/opt/Quorvane/bin/lwm2m-launcher
if [ -f "$launcher" ]; then
    file "$launcher" | sed "s|$work/output-busybox/||"
    file "$launcher" | grep -q 'ARM aarch64' || { echo "FAIL: not an aarch64 program"; failed=1; }
fi
exit $failed
