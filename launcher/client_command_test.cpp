// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "client_command.h"

#include <gtest/gtest.h>

namespace {

using strings = std::vector<std::string>;

module_settings typical() {
    module_settings s;
    s.enable = 1;
    s.name = "gw-0042";
    s.server_addr = "lwm2m.example.net";
    s.server_port = 5684;
    s.lifetime = 300;
    s.update_time = 60;
    s.modbus_addr = "192.168.1.10";
    s.modbus_port = 502;
    s.modbus_slave = 1;
    s.modbus_interval = 10;
    s.modbus_timeout = 3;
    return s;
}

const std::string program = "/opt/Quorvane/bin/lwm2mclient";
const std::string common_line =
    "/opt/Quorvane/bin/lwm2mclient -4 -n gw-0042 -h lwm2m.example.net -p 5684 -u 60 "
    "-H 192.168.1.10 -P 502 -S 1 -I 10 -T 3 -t 300 -f /tmp/lwm2m/etc/config.csv ";
const strings common_arguments = {
    program, "-4",   "-n", "gw-0042", "-h", "lwm2m.example.net",
    "-p",    "5684", "-u", "60",      "-H", "192.168.1.10",
    "-P",    "502",  "-S", "1",       "-I", "10",
    "-T",    "3",    "-t", "300",     "-f", "/tmp/lwm2m/etc/config.csv"};

strings common_plus(const strings& more) {
    strings all = common_arguments;
    all.insert(all.end(), more.begin(), more.end());
    return all;
}

TEST(ClientCommand, EveryOptionInOrder) {
    const auto command = compose_client_command(typical());
    EXPECT_EQ(command.line, common_line + " &");
    EXPECT_EQ(command.arguments, common_arguments);
}

TEST(ClientCommand, DefaultsLeaveEmptyValuesBetweenTwoBlanks) {
    const auto command = compose_client_command(module_settings{});
    EXPECT_EQ(command.line,
              "/opt/Quorvane/bin/lwm2mclient -4 -n  -h  -p 0 -u 0 -H  -P 0 -S 0 -I 0 -T 0 -t 0 "
              "-f /tmp/lwm2m/etc/config.csv  &");
    EXPECT_EQ(command.arguments,
              (strings{program, "-4", "-n", "",  "-h", "",  "-p", "0",
                       "-u",    "0",  "-H", "",  "-P", "0", "-S", "0",
                       "-I",    "0",  "-T", "0", "-t", "0", "-f", "/tmp/lwm2m/etc/config.csv"}));
}

TEST(ClientCommand, AnyNonZeroLogEnableAddsL) {
    for (const std::uint32_t log_en : {1U, 2U, 4294967295U}) {
        auto s = typical();
        s.log_en = log_en;
        const auto command = compose_client_command(s);
        EXPECT_EQ(command.line, common_line + "-L  &");
        EXPECT_EQ(command.arguments, common_plus({"-L"}));
    }
}

TEST(ClientCommand, KeyNeedsBothIdentityAndKey) {
    auto id_only = typical();
    id_only.psk_id = "id";
    auto key_only = typical();
    key_only.psk = "key";
    for (const auto& s : {id_only, key_only}) {
        const auto command = compose_client_command(s);
        EXPECT_EQ(command.line, common_line + " &");
        EXPECT_EQ(command.arguments, common_arguments);
    }
}

TEST(ClientCommand, PlainKeyIsFollowedByTwoBlanks) {
    auto s = typical();
    s.psk_id = "gw-0042";
    s.psk = "secret";
    const auto command = compose_client_command(s);
    EXPECT_EQ(command.line, common_line + "-i gw-0042 -s secret  &");
    EXPECT_EQ(command.arguments, common_plus({"-i", "gw-0042", "-s", "secret"}));
}

TEST(ClientCommand, HexadecimalKeyIsFollowedByOneBlank) {
    auto s = typical();
    s.log_en = 1;
    s.psk_id = "gw-0042";
    s.psk = std::string("\x00\x7f\x80\xff", 4) + "secret";
    s.psk_hex = 7;
    const auto command = compose_client_command(s);
    EXPECT_EQ(command.line, common_line + "-L -i gw-0042 -s 007F80FF736563726574 &");
    EXPECT_EQ(command.arguments,
              common_plus({"-L", "-i", "gw-0042", "-s", "007F80FF736563726574"}));
}

TEST(ClientCommand, ValuesStayWholeAndUnquoted) {
    auto s = typical();
    s.name = "a b;$(reboot)`id`'\"";
    s.server_addr = "";
    s.psk_id = "x y";
    s.psk = "|&>";
    const auto command = compose_client_command(s);
    EXPECT_EQ(command.arguments[3], s.name);
    EXPECT_EQ(command.arguments[5], "");
    EXPECT_EQ(command.arguments.size(), common_arguments.size() + 4);
    EXPECT_EQ(command.arguments.back(), "|&>");
    EXPECT_NE(command.line.find("-n a b;$(reboot)`id`'\" -h  -p"), std::string::npos);
    EXPECT_TRUE(command.line.ends_with(" -i x y -s |&>  &")) << command.line;
}

TEST(ClientCommand, NoLengthLimit) {
    auto s = typical();
    s.name = std::string(5000, 'n');
    s.psk_id = "id";
    s.psk = std::string(3000, 'k');
    s.psk_hex = 1;
    const auto command = compose_client_command(s);
    EXPECT_EQ(command.arguments[3], s.name);
    EXPECT_EQ(command.arguments.back(), hex_upper(s.psk));
    EXPECT_EQ(command.line.size(), common_line.size() - 7 + 5000 + 9 + 6000 + 2);
    EXPECT_EQ(command.line.substr(command.line.size() - 4), "6B &");
}

}  // namespace
