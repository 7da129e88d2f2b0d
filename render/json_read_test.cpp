#include "render/json_read.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace render {
namespace {

using nlohmann::json;

std::string failure(const std::function<void()> &f) {
    try {
        f();
    } catch (const JsonError &e) {
        return e.message;
    }
    return "";
}

// Whole numbers are held against their range as the file writes them: 64-bit signed and
// unsigned values that a conversion would wrap into range are refused.
TEST(JsonRead, WholeNumbersAreRangeCheckedBeforeAnyConversion) {
    EXPECT_EQ(json_integer(json::parse("2147483647"), "n", INT_MIN, INT_MAX), INT_MAX);
    EXPECT_EQ(json_integer(json::parse("-2147483648"), "n", INT_MIN, INT_MAX), INT_MIN);
    EXPECT_EQ(json_integer(json::parse("-3"), "n", -5, 5), -3);
    for (const char *text : {"2147483648", "-2147483649", "4294967296", "4294967297", "9223372036854775807",
                             "-9223372036854775808", "18446744073709551615", "2.0", "\"7\"", "true", "null"})
        EXPECT_EQ(failure([&] { json_integer(json::parse(text), "render.width", 1, 16384); }),
                  "render.width must be a whole number from 1 to 16384")
            << text;
    EXPECT_NE(failure([&] { json_integer(json::parse("0"), "cells", 1, 10); }), "");
    EXPECT_NE(failure([&] { json_integer(json::parse("11"), "cells", 1, 10); }), "");
}

TEST(JsonRead, CoordinatesAndRangedNumbers) {
    EXPECT_EQ(json_coordinate(json::parse("-1e12"), "x"), -1e12);
    EXPECT_EQ(failure([&] { json_coordinate(json::parse("1.0000001e12"), "max"); }),
              "max must be a number from -1e+12 to 1e+12");
    EXPECT_EQ(failure([&] { json_point(json::parse("[0, 1e300, 0]"), "p"); }), "p must be a number from -1e+12 to 1e+12");
    EXPECT_EQ(failure([&] { json_number(json::parse("\"a\""), "fps", 1e-3, 1e6); }), "fps must be a number from 0.001 to 1e+06");
}

// Parsing refuses in one line what would hurt later: deep nesting, numbers beyond double
// range, bad syntax; the content it quotes cannot break the line or drive a terminal.
TEST(JsonRead, ParseRefusesInOneLine) {
    EXPECT_EQ(parse_json(std::string(64, '[') + std::string(64, ']'), "f").size(), 1u);
    EXPECT_EQ(failure([] { parse_json(std::string(65, '[') + std::string(65, ']'), "f.json"); }),
              "f.json: arrays and objects nest more than 64 deep");
    EXPECT_NE(failure([] { parse_json("[1e999]", "f.json"); }).find("number overflow"), std::string::npos);
    const std::string quoted = failure([] { parse_json("[0.\x7f]", "f.json"); });
    EXPECT_NE(quoted.find("\\x7F"), std::string::npos) << quoted;
    EXPECT_EQ(one_line("a\nb\x1b[31m\x7f" "c"), "a\\x0Ab\\x1B[31m\\x7Fc");
    // Bytes that are not UTF-8 and the C1 controls show as their values; characters stay.
    EXPECT_EQ(one_line("caf\xE9 \xC2\x9B" "2J caf\xC3\xA9"), "caf\\xE9 \\xC2\\x9B2J caf\xC3\xA9");
    EXPECT_EQ(failure([] { check_keys(json::parse(R"({"a\nb": 1})"), "camera", {"x"}); }),
              "unknown key \"a\\x0Ab\" in camera");
}

}  // namespace
}  // namespace render
