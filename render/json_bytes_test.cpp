#include "render/json_bytes.h"

#include <gtest/gtest.h>

#include "render/json_read.h"

namespace render {
namespace {

using nlohmann::json;

TEST(JsonBytes, NamesThatAreNotUtf8ReloadToTheSameBytes) {
    const std::string names[] = {
        "caf\xE9.obj",                       // Latin-1
        std::string("a\0b", 3),              // a NUL, which the markers double
        std::string("\0" "e9", 3),           // a NUL followed by what looks like a marker
        "\xFF\xFE\x80 \xC3\xA9 \xED\xA0\x80",  // stray bytes, valid UTF-8, an encoded surrogate
        "\\udce9 \xF0\x9F\x92\xA9",          // the escape's text itself, and a 4-byte character
        "\xC3",                              // a sequence cut short at the end
    };
    for (const std::string &name : names) {
        const json doc = {{"name", name}, {name, json::array({name})}};
        const std::string text = dump_json(doc, 2);
        EXPECT_TRUE(valid_utf8(text)) << text;
        const json back = parse_json(text, "test");
        EXPECT_EQ(back["name"].get<std::string>(), name) << text;
        ASSERT_TRUE(back.contains(name)) << text;
        EXPECT_EQ(back[name][0].get<std::string>(), name) << text;
        EXPECT_EQ(dump_json(back, 2), text);
    }
    EXPECT_NE(dump_json(json("caf\xE9")).find("caf\\udce9"), std::string::npos);
}

TEST(JsonBytes, ReadingTakesRawBytesAndEscapesButNotHalvesOfCharacters) {
    // A file written by hand in Latin-1, and the escape written out.
    EXPECT_EQ(parse_json("[\"caf\xE9\", \"caf\\udce9\", \"caf\\uDCE9\"]", "t"),
              json::array({"caf\xE9", "caf\xE9", "caf\xE9"}));
    // \udca9 after a high surrogate is the second half of a character, not a byte.
    EXPECT_EQ(parse_json("\"\\ud83d\\udca9\"", "t").get<std::string>(), "\xF0\x9F\x92\xA9");
    // An escaped backslash before "udce9" is text.
    EXPECT_EQ(parse_json("\"\\\\udce9\"", "t").get<std::string>(), "\\udce9");
    // Outside strings, stray bytes are still malformed JSON; so is a lone low surrogate
    // below the byte range.
    EXPECT_THROW(parse_json("[1, \xE9]", "t"), JsonError);
    EXPECT_THROW(parse_json("\"\\udc41\"", "t"), JsonError);
}

}  // namespace
}  // namespace render
