// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// The names the launcher works with, fixed: no option or environment
// changes them (but --check's FILE), so the module's layout is its whole
// configuration.
#pragma once

inline constexpr const char* settings_path = "/opt/Quorvane/etc/settings";
inline constexpr const char* client_program = "/opt/Quorvane/bin/lwm2mclient";

inline constexpr const char* work_root = "/tmp/lwm2m";
inline constexpr const char* work_dir = "/tmp/lwm2m/etc";
inline constexpr const char* csv_config_path = "/tmp/lwm2m/etc/config.csv";
inline constexpr const char* event_log_path = "/tmp/lwm2m/lwm2m.log";
inline constexpr const char* older_event_log_path = "/tmp/lwm2m/lwm2m.log.1";
inline constexpr const char* client_started_path = "/tmp/lwm2m/client-started";
inline constexpr const char* map_file_path = "/var/lwm2m_map.txt";

// The whole environment of the fixed shell commands.
inline constexpr const char* fixed_command_path = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
