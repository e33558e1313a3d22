#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Checks the Yocto layer (packaging/yocto/meta-lwm2m-launcher) offline,
# with the real tools, and fails on any finding:
#  1. `bitbake -p`: every recipe of openembedded-core and of the layer
#     parses;
#  2. `bitbake lwm2m-launcher -c unpack`: the recipe fetches and unpacks the
#     project from a local git clone of this tree's last commit (the recipe
#     is pointed at it from local.conf, as its README says, so nothing
#     leaves the machine), and the licence checksum holds;
#  3. oelint-adv on the recipe, run from its source tree with oelint-parser
#     and oelint-data. Debian 12 packages their other libraries but anytree,
#     and its argcomplete is older than oelint-adv's: small stand-ins are
#     made here for both (oelint-adv uses anytree's Node and LoopError in one
#     rule, on custom task order, and argcomplete only to complete a shell's
#     command line);
#  4. yocto-check-layer on the layer (slow: some 15 minutes on 2 cores).
# bitbake refuses to run as root: as root, every step runs as nobody, in a
# build directory of its own that nobody owns. The host tools that bitbake's
# sanity check asks for come from Debian (tools/need.sh yocto); the
# en_US.UTF-8 locale it wants is compiled into the build directory
# (LOCPATH), so the machine's locales stay as they are.
# Usage: yocto_check.sh [BITBAKE_DIR OECORE_DIR [OELINT_DIR [--quick]]]
#   by default $LAUNCHER_BITBAKE_DIR, $LAUNCHER_OECORE_DIR and
#   $LAUNCHER_OELINT_DIR; OELINT_DIR holds oelint-adv, oelint-parser and
#   oelint-data side by side (by default beside openembedded-core);
#   --quick leaves out yocto-check-layer.
# Exit: 0 no finding, 1 a finding or a failed step, 2 usage, 77 skipped (no
# bitbake or openembedded-core tree given).
set -eu
bitbake_dir=${1:-${LAUNCHER_BITBAKE_DIR:-}}
oecore_dir=${2:-${LAUNCHER_OECORE_DIR:-}}
if [ -z "$bitbake_dir" ] || [ -z "$oecore_dir" ]; then
    echo "skipped: no bitbake and openembedded-core trees (LAUNCHER_BITBAKE_DIR, LAUNCHER_OECORE_DIR)"
    exit 77
fi
bitbake_dir=$(cd "$bitbake_dir" && pwd)
oecore_dir=$(cd "$oecore_dir" && pwd)
oelint_dir=$(cd "${3:-${LAUNCHER_OELINT_DIR:-$oecore_dir/..}}" && pwd)
quick=${4:-}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
layer=$source_dir/packaging/yocto/meta-lwm2m-launcher
recipe=$layer/recipes-connectivity/lwm2m-launcher/lwm2m-launcher_1.3.0.bb

work=$(mktemp -d /var/tmp/yocto_check.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/build/conf" "$work/python/anytree"
# The tree's last commit, as the recipe's fetcher would find it in a mirror.
git clone -q --no-hardlinks "$source_dir" "$work/source"
branch=$(git -C "$work/source" rev-parse --abbrev-ref HEAD)
revision=$(git -C "$work/source" rev-parse HEAD)

cat > "$work/build/conf/bblayers.conf" << CONF
BBPATH = "\${TOPDIR}"
BBFILES ?= ""
BBLAYERS = "$oecore_dir/meta $layer"
CONF
cat > "$work/build/conf/local.conf" << CONF
MACHINE = "qemuarm64"
DISTRO = "nodistro"
INIT_MANAGER = "systemd"
BB_NO_NETWORK = "1"
LWM2M_LAUNCHER_GIT = "git://$work/source;protocol=file;branch=$branch"
SRCREV:pn-lwm2m-launcher = "$revision"
CONF

cat > "$work/python/anytree/__init__.py" << 'PY'
"""Stand-in for the part of anytree that oelint-adv uses: Node, LoopError."""


class LoopError(Exception):
    pass


class Node:
    def __init__(self, name):
        self.name = name
        self._children = ()

    def __repr__(self):
        return "Node('/%s')" % self.name

    def _reaches(self, other):
        return self is other or any(child._reaches(other) for child in self._children)

    @property
    def children(self):
        return self._children

    @children.setter
    def children(self, children):
        for child in children:
            if child._reaches(self):
                raise LoopError("Cannot set parent. %r is parent of %r." % (child, self))
        self._children = tuple(children)
PY

mkdir -p "$work/python/argcomplete" "$work/locale"
cat > "$work/python/argcomplete/__init__.py" << 'PY'
"""Stand-in for argcomplete: oelint-adv only completes shell command lines with it."""


class FilesCompleter:
    def __init__(self, *args, **kwargs):
        pass

    def __call__(self, *args, **kwargs):
        return []


DirectoriesCompleter = FilesCompleter


def autocomplete(*args, **kwargs):
    pass
PY
localedef -i en_US -f UTF-8 "$work/locale/en_US.UTF-8"

run() {  # run COMMAND...: as nobody when root, in the build directory
    if [ "$(id -u)" -eq 0 ]; then
        setpriv --reuid=nobody --regid=nogroup --clear-groups \
            env HOME="$work" "$@"
    else
        "$@"
    fi
}
[ "$(id -u)" -ne 0 ] || chown -R nobody:nogroup "$work"
environment="PATH=$bitbake_dir/bin:$oecore_dir/scripts:/usr/sbin:/usr/bin:/sbin:/bin LOCPATH=$work/locale LANG=en_US.UTF-8 BB_ENV_PASSTHROUGH_ADDITIONS=LOCPATH"
failed=0
step() {  # step NAME COMMAND...
    name=$1
    shift
    began=$(date +%s)
    if (cd "$work/build" && run env $environment "$@") > "$work/step.log" 2>&1; then
        echo "ok: $name ($(($(date +%s) - began)) s)"
    else
        tail -n 40 "$work/step.log"
        echo "FAIL: $name ($(($(date +%s) - began)) s)"
        failed=1
    fi
}

step "bitbake -p (openembedded-core and the layer parse)" bitbake -p
step "bitbake lwm2m-launcher -c unpack (fetched from a local clone, licence checked)" \
    bitbake lwm2m-launcher -c unpack
# Two rules are left out: a homepage can't be reached offline, and the
# launcher is a program for the gateway alone, with no native or SDK build
# to extend to (BBCLASSEXTEND).
step "oelint-adv on the recipe" env \
    PYTHONPATH="$work/python:$oelint_dir/oelint-adv:$oelint_dir/oelint-parser:$oelint_dir/oelint-data" \
    python3 -m oelint_adv --quiet --suppress oelint.vars.homepageping \
    --suppress oelint.var.bbclassextend "$recipe"
if [ "$quick" != --quick ]; then
    # It adds the layer to a build of openembedded-core alone itself.
    sed -i "s| $layer\"|\"|" "$work/build/conf/bblayers.conf"
    step "yocto-check-layer" env BUILDDIR="$work/build" \
        yocto-check-layer --no-auto-dependency "$layer"
fi
exit $failed
