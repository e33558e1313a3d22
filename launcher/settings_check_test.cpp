// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "settings_check.h"

#include <gtest/gtest.h>

#include "test_dir.h"

namespace {

using namespace std::string_literals;

// One row per rule that changes what a line means: the settings, and the
// finding the report must give for them.
TEST(SettingsCheck, EachLenientRuleThatChangesALineIsAFinding) {
    const std::pair<std::string, std::string> rows[] = {
        {"A=1\n LWM2M_NAME=gw\n",
         "line 2: \" LWM2M_NAME\" is not LWM2M_NAME: the blanks around it make it another name"},
        {"LWM2M_NAME=\"gw\n",
         "line 1: LWM2M_NAME: the quote that opens its value is never closed, so the value is "
         "empty"},
        {"LWM2M_NAME=\"gw\" 42\n", "line 1: LWM2M_NAME: 3 characters after its last quote dropped"},
        {"LWM2M_NAME=gw\r42\n", "line 1: a carriage return at character 14 ends the line there"},
        {"LWM2M_NAME=gw\0"
         "42\n"s,
         "line 1: a zero byte at character 14 ends the line there"},
        {"LWM2M_NAME=a\nLWM2M_NAME=b\n",
         "line 2: LWM2M_NAME again: line 1, the first, is the one that counts"},
        {"LWM2M_SERVER_PORT=5684x\n", "line 1: LWM2M_SERVER_PORT=\"5684x\" is read as 5684"},
        {"LWM2M_LIFETIME=99999999999\n",
         "line 1: LWM2M_LIFETIME=\"99999999999\" is read as 4294967295"},
        {"LWM2M_PSK=secret\n",
         "LWM2M_PSK is set but LWM2M_PSK_ID is not: neither -i nor -s is "
         "passed"},
        {"A=1\nLWM2M_CSV=YS*x_i\n",
         "line 2: LWM2M_CSV: 2 bytes outside the base64 alphabet (padding aside) passed over, "
         "the first at character 3 of its value"},
        {"lwm2m_servr_addr=x\n",
         "line 1: \"lwm2m_servr_addr\" is no key the launcher reads; the nearest is "
         "LWM2M_SERVER_ADDR"},
        // The value ends with the line's first piece, before the quote.
        {"LWM2M_NAME=" + std::string(20000, 'n') + "\"xyz\n",
         "line 1: LWM2M_NAME: its line is 20015 characters long; only the first 16383 are read"},
    };
    const test_dir dir;
    for (const auto& [settings, finding] : rows) {
        const std::string report =
            text_report(make_check_record(dir.write("settings", settings).c_str(), false));
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

}  // namespace
