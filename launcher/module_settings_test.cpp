// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "module_settings.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "test_dir.h"

namespace {

class ModuleSettings : public testing::Test {
protected:
    module_settings load(const std::string& contents) {
        read_ = load_module_settings(dir_.write("settings", contents).c_str());
        EXPECT_TRUE(read_.status.ok());
        return read_.settings;
    }
    std::string csv_of(const module_settings& s) const {
        std::string csv;
        EXPECT_TRUE(settings_read_place(read_.file, s.csv, [&csv](std::string_view chunk) {
                        csv += chunk;
                        return true;
                    }).ok());
        return csv;
    }

    test_dir dir_;
    module_settings_read read_;
};

TEST_F(ModuleSettings, EveryFieldFromItsKey) {
    const std::string csv(50000, 'Q');  // far longer than an ordinary line
    const auto s = load(
        "LWM2M_MODBUS_TIMEOUT=16\nLWM2M_MODBUS_INTERVAL=15\n"
        "LWM2M_MODBUS_SLAVE=14\nLWM2M_MODBUS_PORT=13\n"
        "LWM2M_MODBUS_ADDR=\"modbus addr\"\nLWM2M_CSV=" +
        csv +
        "\n"
        "LWM2M_UPDATE_TIME=10\nLWM2M_PSK=psk\nLWM2M_PSK_HEX=8\n"
        "LWM2M_PSK_ID=psk id\nLWM2M_LIFETIME=6\nLWM2M_SERVER_PORT=5\n"
        "LWM2M_SERVER_ADDR=server\nlwm2m_name=name\nLWM2M_LOG_EN=2\n"
        "LWM2M_ENABLE=1\n");
    EXPECT_EQ(s.enable, 1U);
    EXPECT_EQ(s.log_en, 2U);
    EXPECT_EQ(s.name, "name");
    EXPECT_EQ(s.server_addr, "server");
    EXPECT_EQ(s.server_port, 5U);
    EXPECT_EQ(s.lifetime, 6U);
    EXPECT_EQ(s.psk_id, "psk id");
    EXPECT_EQ(s.psk_hex, 8U);
    EXPECT_EQ(s.psk, "psk");
    EXPECT_EQ(s.update_time, 10U);
    EXPECT_EQ(csv_of(s), csv);
    EXPECT_EQ(s.modbus_addr, "modbus addr");
    EXPECT_EQ(s.modbus_port, 13U);
    EXPECT_EQ(s.modbus_slave, 14U);
    EXPECT_EQ(s.modbus_interval, 15U);
    EXPECT_EQ(s.modbus_timeout, 16U);
}

void expect_defaults(const module_settings& s) {
    EXPECT_EQ(s.enable, 0U);
    EXPECT_EQ(s.log_en, 0U);
    EXPECT_EQ(s.server_port, 0U);
    EXPECT_EQ(s.modbus_timeout, 0U);
    EXPECT_EQ(s.csv.length, 0U);
    for (const auto* text : {&s.name, &s.server_addr, &s.psk_id, &s.psk, &s.modbus_addr}) {
        EXPECT_EQ(*text, "");
    }
}

TEST_F(ModuleSettings, MissingFileOrKeysGiveDefaults) {
    const module_settings_read missing = load_module_settings(dir_.path("missing").c_str());
    EXPECT_EQ(missing.status.error, ENOENT);
    expect_defaults(missing.settings);
    expect_defaults(load("SOMETHING_ELSE=1\n"));
}

TEST_F(ModuleSettings, NegativeNumbersWrapToUnsigned) {
    const auto s = load("LWM2M_SERVER_PORT=-1\nLWM2M_LIFETIME=-2\n");
    EXPECT_EQ(s.server_port, 4294967295U);
    EXPECT_EQ(s.lifetime, 4294967294U);
}

}  // namespace
