#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# The launcher's job as an integrator would otherwise write it: a plain
# POSIX sh script, keys read with grep and sed, the CSV decoded with
# base64 -d, the client started with "&". The benchmarks time the launcher
# against it; it is not shipped.
settings=/opt/Quorvane/etc/settings
log=/tmp/lwm2m/lwm2m.log
csv=/tmp/lwm2m/etc/config.csv
client=/opt/Quorvane/bin/lwm2mclient

get() {
    grep -i -m 1 "^$1=" "$settings" | sed -e 's/^[^=]*=//' -e 's/\r$//' -e 's/^"//' -e 's/"$//'
}

enable=$(get LWM2M_ENABLE)
log_en=$(get LWM2M_LOG_EN)
name=$(get LWM2M_NAME)
server_addr=$(get LWM2M_SERVER_ADDR)
server_port=$(get LWM2M_SERVER_PORT)
lifetime=$(get LWM2M_LIFETIME)
psk_id=$(get LWM2M_PSK_ID)
psk_hex=$(get LWM2M_PSK_HEX)
psk=$(get LWM2M_PSK)
update_time=$(get LWM2M_UPDATE_TIME)
modbus_addr=$(get LWM2M_MODBUS_ADDR)
modbus_port=$(get LWM2M_MODBUS_PORT)
modbus_slave=$(get LWM2M_MODBUS_SLAVE)
modbus_interval=$(get LWM2M_MODBUS_INTERVAL)
modbus_timeout=$(get LWM2M_MODBUS_TIMEOUT)

mkdir -p /tmp/lwm2m/etc
rm -rf /tmp/lwm2m/etc/*.*
rm -f /var/lwm2m_map.txt 2> /dev/null

get LWM2M_CSV | base64 -d -i > "$csv" 2> /dev/null
[ -s "$csv" ] || rm -f "$csv"
if [ ! -e "$csv" ]; then
    echo "Can't find CSV config file in Plugwell" >> "$log"
    exit 255
fi
if [ "${enable:-0}" = 0 ]; then
    echo "Quorvane is disabled." >> "$log"
    exit 0
fi

set -- -4 -n "$name" -h "$server_addr" -p "${server_port:-0}" -u "${update_time:-0}" \
    -H "$modbus_addr" -P "${modbus_port:-0}" -S "${modbus_slave:-0}" -I "${modbus_interval:-0}" \
    -T "${modbus_timeout:-0}" -t "${lifetime:-0}" -f "$csv"
[ "${log_en:-0}" != 0 ] && set -- "$@" -L
if [ -n "$psk_id" ] && [ -n "$psk" ]; then
    if [ "${psk_hex:-0}" != 0 ]; then
        psk=$(printf %s "$psk" | od -An -tx1 | tr -d ' \n' | tr a-f A-F)
    fi
    set -- "$@" -i "$psk_id" -s "$psk"
fi
echo "$client $* &" >> "$log"
"$client" "$@" &
