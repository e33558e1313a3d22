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
#  3. the recipe's packages take every file its install makes: the project
#     is configured with the cmake options that `bitbake -e lwm2m-launcher`
#     expands (cmake.bbclass's OECMAKE_ARGS, at the recipe's prefix,
#     sysconfdir and the rest, and the recipe's EXTRA_OECMAKE; with this
#     machine's compiler, as no cross toolchain is built), built and
#     installed into a staging root; each file must fall to one of
#     PACKAGES by its FILES, as bitbake expands them and in their order
#     (package.bbclass's split), with the units that systemd.bbclass adds
#     to SYSTEMD_PACKAGES by its own rules (each unit of SYSTEMD_SERVICE,
#     its @ form, the sockets its Also= names); a file that no package
#     takes would stop do_package_qa (installed-vs-shipped). And the
#     recipe's SRCREV names a commit whose project version is the recipe's;
#  4. oelint-adv on the recipe, run from its source tree with oelint-parser
#     and oelint-data. Debian 12 packages their other libraries but anytree,
#     and its argcomplete is older than oelint-adv's: small stand-ins are
#     made here for both (oelint-adv uses anytree's Node and LoopError in one
#     rule, on custom task order, and argcomplete only to complete a shell's
#     command line);
#  5. yocto-check-layer on the layer (slow: some 15 minutes on 2 cores).
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
recipe=$(ls "$layer"/recipes-connectivity/lwm2m-launcher/lwm2m-launcher_*.bb)

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
cat > "$work/packaged.py" << 'PY'
"""Installs as the recipe's cmake options say and splits as bitbake would."""
import glob
import os
import re
import shlex
import subprocess
import sys

env_file, source, work = sys.argv[1:]
env = {}
with open(env_file, encoding="utf-8") as lines:
    for line in lines:
        match = re.match(r'^(?:export )?([A-Za-z0-9_:.+${}-]+)="(.*)"$', line.rstrip("\n"))
        if match:
            env[match.group(1)] = match.group(2)
pn = env["PN"]
# cmake.bbclass's own options but those of the cross toolchain and Python.
options = [o for o in shlex.split(env["OECMAKE_ARGS"])
           if not o.startswith(("-DCMAKE_TOOLCHAIN_FILE", "-DPYTHON", "-DPython"))]
options += shlex.split(env["EXTRA_OECMAKE"])
stage = os.path.join(work, "image")
for command in (["cmake", "-S", source, "-B", os.path.join(work, "build"), "-G", "Ninja"] + options,
                ["cmake", "--build", os.path.join(work, "build")],
                ["cmake", "--install", os.path.join(work, "build")]):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL,
                   env=dict(os.environ, DESTDIR=stage))
installed = set()
for top, _, names in os.walk(stage):
    installed.update("/" + os.path.relpath(os.path.join(top, n), stage) for n in names)

packages = env["PACKAGES"].split()
files = {p: env.get("FILES:" + p, "").split() for p in packages}
unit_dir = env["systemd_system_unitdir"]
failed = False


def add_unit(package, unit):
    """systemd.bbclass's systemd_add_files_and_parse."""
    path = unit_dir + "/" + unit
    if path not in installed or path in files[package]:
        return
    files[package].append(path)
    if unit.endswith(".service"):
        add_unit(package, unit[:-len(".service")] + "@.service")
        with open(stage + path, encoding="utf-8") as text:
            for line in text:
                if line.startswith("Also") and ".socket" in line:
                    add_unit(package, line.split("=", 1)[1].strip())
    if unit.endswith(".socket"):
        add_unit(package, unit[:-len(".socket")] + ".service")
        add_unit(package, unit[:-len(".socket")] + "@.service")


for package in env.get("SYSTEMD_PACKAGES", pn).split():
    for unit in env.get("SYSTEMD_SERVICE:" + package, "").split():
        if unit_dir + "/" + unit not in installed:
            print("SYSTEMD_SERVICE:%s names %s, which the install does not make" % (package, unit))
            failed = True
        add_unit(package, unit)
# package.bbclass: in the order of PACKAGES, each takes what its FILES
# match (a directory with all it holds) and no earlier one took.
taken = {}
for package in packages:
    for pattern in files[package]:
        for match in glob.glob(stage + pattern):
            paths = [match] if not os.path.isdir(match) else [
                os.path.join(top, n) for top, _, names in os.walk(match) for n in names]
            for path in paths:
                taken.setdefault("/" + os.path.relpath(path, stage), package)
for path in sorted(installed):
    if path in taken:
        print("%s: %s" % (taken[path], path))
    else:
        print("no package takes %s" % path)
        failed = True
sys.exit(1 if failed else 0)
PY
step "the packages take every file the install makes (bitbake -e, cmake, package split)" \
    sh -c 'bitbake -e lwm2m-launcher > "$1/recipe.env" &&
        python3 "$1/packaged.py" "$1/recipe.env" "$1/source" "$1/packaged"' sh "$work"
recipe_version=$(basename "$recipe" .bb)
recipe_version=${recipe_version#lwm2m-launcher_}
srcrev=$(sed -n 's/^SRCREV = "\(.*\)"$/\1/p' "$recipe")
project_version=$(git -c safe.directory="$work/source" -C "$work/source" show "$srcrev:CMakeLists.txt" |
    sed -n 's/^project(lwm2m_launcher VERSION \([0-9.]*\)$/\1/p')
if [ "$project_version" = "$recipe_version" ]; then
    echo "ok: SRCREV $srcrev is version $recipe_version"
else
    echo "FAIL: SRCREV $srcrev is version '$project_version', the recipe $recipe_version"
    failed=1
fi
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
