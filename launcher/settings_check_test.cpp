// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "settings_check.h"

#include <gtest/gtest.h>

#include <string_view>
#include <tuple>

#include "client_command.h"
#include "complain.h"
#include "test_dir.h"

namespace {

using namespace std::string_literals;

// One row per rule that changes what a line means: the settings, and the
// finding the report must give for them.
TEST(SettingsCheck, EachLenientRuleThatChangesALineIsAFinding) {
    const std::tuple<std::string, std::string, std::string_view> rows[] = {
        {"A=1\n LWM2M_NAME=gw\n",
         "line 2: \" LWM2M_NAME\" is not LWM2M_NAME: the blanks around it make it another name",
         "blanks_around_key"},
        {"LWM2M_NAME=\"gw\n",
         "line 1: LWM2M_NAME: the quote that opens its value is never closed, so the value is "
         "empty",
         "quote_never_closed"},
        {"LWM2M_NAME=\"gw\" 42\n", "line 1: LWM2M_NAME: 3 characters after its last quote dropped",
         "text_after_last_quote"},
        {"LWM2M_NAME=gw\r42\n", "line 1: a carriage return at character 14 ends the line there",
         "carriage_return_in_line"},
        {"LWM2M_NAME=gw\0"
         "42\n"s,
         "line 1: a zero byte at character 14 ends the line there", "zero_byte_in_line"},
        {"LWM2M_NAME=a\nLWM2M_NAME=b\n",
         "line 2: LWM2M_NAME again: line 1, the first, is the one that counts", "key_set_again"},
        {"LWM2M_SERVER_PORT=5684x\n", "line 1: LWM2M_SERVER_PORT=\"5684x\" is read as 5684",
         "number_read_otherwise"},
        {"LWM2M_LIFETIME=99999999999\n",
         "line 1: LWM2M_LIFETIME=\"99999999999\" is read as 4294967295", "number_read_otherwise"},
        {"LWM2M_PSK=secret\n",
         "LWM2M_PSK is set but LWM2M_PSK_ID is not: neither -i nor -s is "
         "passed",
         "key_without_identity"},
        {"A=1\nLWM2M_CSV=YS*x_i\n",
         "line 2: LWM2M_CSV: 2 bytes outside the base64 alphabet (padding aside) passed over, "
         "the first at character 3 of its value",
         "csv_bytes_outside_base64"},
        {"lwm2m_servr_addr=x\n",
         "line 1: \"lwm2m_servr_addr\" is no key the launcher reads; the nearest is "
         "LWM2M_SERVER_ADDR",
         "unknown_key"},
        // The value ends with the line's first piece, before the quote.
        {"LWM2M_NAME=" + std::string(20000, 'n') + "\"xyz\n",
         "line 1: LWM2M_NAME: its line is 20015 characters long; only the first 16383 are read",
         "line_too_long"},
    };
    const test_dir dir;
    for (const auto& [settings, finding, id] : rows) {
        const check_record record =
            make_check_record(dir.write("settings", settings).c_str(), false);
        const std::string report = text_report(record);
        // The same finding in the JSON, by its id.
        EXPECT_NE(json_report(record).find(joined({"\"id\":\"", id, "\""})), std::string::npos)
            << id;
        // That finding, and no other.
        EXPECT_NE(report.find("\nFindings\n  " + finding + "\n\nA start would\n"),
                  std::string::npos)
            << testing::PrintToString(settings) << "\n"
            << report;
        EXPECT_EQ(report.find("secret"), std::string::npos);
    }
}

// Strict, the file alone is judged: the same status on any machine.
TEST(SettingsCheck, StrictlyAnyFindingOrAMissingEnableOrCsvIsStatus3) {
    const std::string csv = "LWM2M_CSV=YSxi\n";
    const std::pair<std::string, int> rows[] = {
        {"LWM2M_ENABLE=1\n" + csv, 0},
        {"LWM2M_ENABLE = 1\n" + csv, 3},  // the blanks make it another name
        {"LWM2M_ENABLE=1\n", 3},
        {csv, 3},
        {"LWM2M_ENABLE=1\nLWM2M_PORT=1\n" + csv, 3},
    };
    const test_dir dir;
    for (const auto& [settings, status] : rows) {
        const check_record record =
            make_check_record(dir.write("settings", settings).c_str(), true);
        const std::string report = text_report(record);
        EXPECT_EQ(record.status, status) << report;
        EXPECT_EQ(report.find("\nA start would\n"), std::string::npos);
    }
    EXPECT_EQ(make_check_record(dir.path("missing").c_str(), true).status, 1);
}

// The JSON gives a text as a string, escaped, when it is UTF-8, and as its
// bytes otherwise; the key never, in any form.
TEST(SettingsCheck, JsonGivesTextsThatAreNotUtf8AsBytesAndNeverTheKey) {
    const test_dir dir;
    const std::string json = json_report(make_check_record(
        dir.write("settings",
                  "LWM2M_NAME=a\\b\x01\xc3\xa9\nLWM2M_SERVER_ADDR=gw\xff\nLWM2M_PSK_ID=i\n"
                  "LWM2M_PSK=k3y\nLWM2M_PSK_HEX=1\nLWM2M_ENABLE=1\nLWM2M_CSV=YSxi\n")
            .c_str(),
        false));
    EXPECT_NE(json.find("\"value\":\"a\\\\b\\u0001\xc3\xa9\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"value\":[103,119,255]"), std::string::npos) << json;
    EXPECT_EQ(json.find("k3y"), std::string::npos);
    EXPECT_EQ(json.find(hex_upper("k3y")), std::string::npos);
    EXPECT_NE(json.find("\"-s\",\"********\"]"), std::string::npos) << json;
}

}  // namespace
