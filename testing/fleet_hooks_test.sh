#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# The fleet's hooks, run by the real tools: the Ansible local fact under
# Ansible's own setup module (ansible_local.lwm2m_launcher must be the
# launcher's --check --json, format 1), and the Mender inventory script,
# whose output must be Mender's format (one name=value a line) with the
# launcher's state. In a private mount namespace with fresh file systems
# over /opt and /tmp, where the launcher, a client and settings holding a
# key are put in place; the key must show nowhere.
# Usage: fleet_hooks_test.sh LAUNCHER SOURCE_DIR
# Exit: 0 all hold, 1 one doesn't, 77 skipped (not root, or no ansible;
# with CI set that fails instead).
set -eu
launcher=$1
source_dir=$2
skip() {
    [ -z "${CI:-}" ] || { echo "FAIL: $*"; exit 1; }
    echo "skipped: $*"
    exit 77
}
if [ "${3:-}" != --inside ]; then
    [ "$(id -u)" -eq 0 ] || skip "the namespace needs root"
    command -v ansible > /dev/null || skip "no ansible (package ansible-core, tools/need.sh test)"
    exec unshare --mount --propagation private sh "$0" "$launcher" "$source_dir" --inside
fi

for dir in /opt /tmp; do
    mount -t tmpfs -o mode=755 tmpfs "$dir"
done
chmod 1777 /tmp
mkdir -p /opt/Quorvane/bin /opt/Quorvane/etc /tmp/facts
cp "$launcher" /opt/Quorvane/bin/lwm2m-launcher
printf '#!/bin/sh\nexit 0\n' > /opt/Quorvane/bin/lwm2mclient
chmod 755 /opt/Quorvane/bin/lwm2mclient
csv=$(printf 'name,register\nt,40001\n' | base64 -w 0)
printf 'LWM2M_ENABLE=1\nLWM2M_NAME=gw\nLWM2M_PSK_ID=gw\nLWM2M_PSK=s3cr3tkey\nLWM2M_CSV=%s\n' "$csv" \
    > /opt/Quorvane/etc/settings
chmod 600 /opt/Quorvane/etc/settings
cp "$source_dir/packaging/ansible/lwm2m_launcher.fact" /tmp/facts/

failed=0
expect() {  # expect WHAT TEST...
    what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failed=1; fi
}
ANSIBLE_LOCALHOST_WARNING=false ANSIBLE_INVENTORY_UNPARSED_WARNING=false \
    ansible localhost -m setup -a 'fact_path=/tmp/facts filter=ansible_local' > /tmp/ansible.out 2>&1 || true
sed -n '1,/^}/p' /tmp/ansible.out | head -n 20
facts=$(sed '1s/^[^{]*//' /tmp/ansible.out)
facts_hold() { printf '%s\n' "$facts" | /usr/bin/python3 -c "
import json, sys
facts = json.load(sys.stdin)['ansible_facts']['ansible_local']['lwm2m_launcher']
assert facts['format'] == 1 and facts['outcome']['status'] == 0, facts
assert facts['gateway']['client']['executable'] is True, facts['gateway']
"; }
expect "ansible shows the launcher's facts" facts_hold
expect "ansible's facts hold no key" sh -c "! grep -q s3cr3tkey /tmp/ansible.out"

sh "$source_dir/packaging/mender/lwm2m-launcher" > /tmp/mender.out
cat /tmp/mender.out
expect "mender: one name=value a line" sh -c "! grep -qv '^lwm2m_launcher_[a-z_]*=' /tmp/mender.out"
expect "mender: the state" grep -qx -e lwm2m_launcher_status=0 /tmp/mender.out
expect "mender: the client" grep -qx -e lwm2m_launcher_client=executable /tmp/mender.out
expect "mender: no key" sh -c "! grep -q s3cr3tkey /tmp/mender.out"
exit $failed
