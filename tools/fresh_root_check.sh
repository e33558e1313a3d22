#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Runs the commands of the README and of docs/, exactly as they are written,
# on a fresh Debian 12: a root that `debootstrap --variant=minbase bookworm`
# made with git and ca-certificates and nothing else, entered with
# systemd-nspawn (not booted), holding a clone of this tree's last commit.
# There, in the order of the pages: the two commands (demo/demo.sh,
# tools/test.sh), the aarch64 build and tests, the musl builds and their
# tests, and the robustness checks (sanitizers, fuzzing, static checks, the
# benchmarks' figures). A package missing from the pages' install steps
# fails it, as it would fail a new user.
#
# The minbase root is made once and kept, untouched, as a tarball in
# ~/.cache/lwm2m-launcher; every run unpacks a fresh copy of it and removes
# it at the end. Uncommitted changes are not in the clone.
#
# Usage: tools/fresh_root_check.sh     (as root; tools/need.sh fresh-root
# installs debootstrap and systemd-nspawn)
# Exit: 0 every command passed, 1 one failed (its output says which).
set -eu
source_dir=$(cd "$(dirname "$0")/.." && pwd)
[ "$(id -u)" -eq 0 ] || { echo "fresh root: debootstrap and systemd-nspawn need root" >&2; exit 1; }
"$source_dir/tools/need.sh" fresh-root

# The commands, each of which must stand as a line in one of the sh blocks
# of the README or of a page of docs/ (a comment after it aside).
commands='demo/demo.sh
tools/test.sh
tools/need.sh aarch64
cmake --workflow --preset aarch64
tools/need.sh musl
cmake --workflow --preset musl-aarch64
cmake --workflow --preset musl-mips
tools/need.sh demo test test-unpacked ci
cmake --workflow --preset sanitize
fuzz/run.sh 60
tools/lint.sh
bench/run.sh --quick'
readme_lines=$(awk '/^```sh$/ { block = 1; next } /^```$/ { block = 0 } block' \
    "$source_dir/README.md" "$source_dir"/docs/*.md |
    sed -e 's/[[:space:]][[:space:]]*#.*$//' -e 's/[[:space:]]*$//')
echo "$commands" | while IFS= read -r command; do
    printf '%s\n' "$readme_lines" | grep -qxF -- "$command" ||
        { echo "fresh root: \"$command\" is not a command of the README or docs/" >&2; exit 1; }
done

cache="$HOME/.cache/lwm2m-launcher"
pristine="$cache/bookworm-minbase-git-ca-certificates.tar"
work=$(mktemp -d "${TMPDIR:-/var/tmp}/lwm2m-fresh-root.XXXXXX")
trap 'rm -rf --one-file-system "$work"' EXIT
began=$(date +%s)
if [ ! -s "$pristine" ]; then
    echo "fresh root: debootstrap --variant=minbase --include=git,ca-certificates bookworm"
    mkdir -p "$cache"
    debootstrap --variant=minbase --include=git,ca-certificates bookworm "$work/root" \
        > "$work/debootstrap.log" 2>&1 || { tail -n 20 "$work/debootstrap.log"; exit 1; }
    tar -C "$work/root" -cf "$pristine.new" . && mv "$pristine.new" "$pristine"
else
    echo "fresh root: unpacking $pristine"
    mkdir "$work/root"
    tar -C "$work/root" -xf "$pristine"
fi

commit=$(git -C "$source_dir" rev-parse HEAD)
cat > "$work/root/run-readme" << EOF
set -eu
git -c safe.directory='*' clone -q /mnt/source /root/lwm2m-launcher
cd /root/lwm2m-launcher
git checkout -q $commit
echo "fresh root: a clone of \$(git log -1 --format='%h %s')"
echo "$commands" | while IFS= read -r command; do
    printf '\n==== %s\n' "\$command"
    started=\$(date +%s)
    sh -c "\$command" < /dev/null
    echo "==== \$command: passed in \$((\$(date +%s) - started)) s"
done
EOF
# The root is a fresh machine on this machine's network: where that network
# re-signs TLS (a proxy with a certificate authority of its own), Node.js
# (npm, for zig) trusts what this machine trusts, as a machine set up here
# would. Debian's own trust store in the root is left as it is.
trust=
host_bundle=/etc/ssl/certs/ca-certificates.crt
if [ -s "$host_bundle" ]; then
    trust="--bind-ro=$host_bundle:/run/host-ca-certificates.crt"
    trust="$trust --setenv=NODE_EXTRA_CA_CERTS=/run/host-ca-certificates.crt"
fi
# shellcheck disable=SC2086 # $trust is empty or two options
systemd-nspawn --quiet --register=no --keep-unit --pipe -D "$work/root" \
    --bind-ro="$source_dir:/mnt/source" $trust --setenv=CI=1 sh /run-readme
echo "fresh root: every command passed, in $(($(date +%s) - began)) s"
