#include "params/persistence.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "refhost/block_io.h"

namespace ormel {
namespace {

using refhost::BlockReader;
using refhost::BlockWriter;

// Every plain item kind, with values that a lossy encoding would change.
struct Settings {
    int ints[2] = {0, 0};
    double doubles[3] = {0.0, 0.0, 0.0};
    char text[16] = "";
    float floats[2] = {0.0f, 0.0f};
    unsigned int words[1] = {0};
    unsigned char bytes[4] = {0, 0, 0, 0};
    int user = 0;

    static Settings edited() {
        Settings s;
        s.ints[0] = -7;
        s.ints[1] = 2147483647;
        s.doubles[0] = 1.0471975511965976;
        s.doubles[1] = -0.0;
        s.doubles[2] = std::numeric_limits<double>::denorm_min();
        std::strcpy(s.text, "a \"b\" \\c");
        s.floats[0] = 0.1f;
        s.floats[1] = -1e-40f;
        s.words[0] = 0xDEADBEEF;
        s.bytes[0] = 0;
        s.bytes[1] = 0xFF;
        s.bytes[2] = '{';
        s.bytes[3] = '"';
        s.user = 31;
        return s;
    }
};

void save_user(const LWSaveState *save, void *data) {
    const int v = *static_cast<int *>(data) * 2;
    save->writeI4(save->writeData, &v, 1);
}
void load_user(const LWLoadState *load, void *data) {
    int v = 0;
    if (load->readI4(load->readData, &v, 1) == 1) *static_cast<int *>(data) = v / 2;
}

struct Table {
    PluginDataItem rows[8];
    explicit Table(Settings &s)
        : rows{{"ints", PINT, s.ints, 2, nullptr, nullptr},
               {"doubles", PDBL, s.doubles, 3, nullptr, nullptr},
               {"text", PSTR, s.text, 16, nullptr, nullptr},
               {"floats", PFLT, s.floats, 2, nullptr, nullptr},
               {"words", PUNT, s.words, 1, nullptr, nullptr},
               {"bytes", PBIN, s.bytes, 4, nullptr, nullptr},
               {"user", PUSR, &s.user, 1, save_user, load_user},
               {nullptr, 0, nullptr, 0, nullptr, nullptr}} {}
};

std::string save_table(int mode, const PluginDataItem *table) {
    BlockWriter w(mode);
    plugin_data_save(w.state(), table);
    return w.bytes();
}

void load_table(int mode, const std::string &data, const PluginDataItem *table) {
    BlockReader r(mode, data);
    plugin_data_load(r.state(), table);
    EXPECT_EQ(r.state()->depth(r.state()->readData), 0);  // every block opened was closed
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void expect_equal(const Settings &a, const Settings &b) {
    EXPECT_EQ(a.ints[0], b.ints[0]);
    EXPECT_EQ(a.ints[1], b.ints[1]);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(same_bits(a.doubles[i], b.doubles[i])) << i;
    EXPECT_STREQ(a.text, b.text);
    for (int i = 0; i < 2; ++i) EXPECT_TRUE(same_bits(a.floats[i], b.floats[i])) << i;
    EXPECT_EQ(a.words[0], b.words[0]);
    EXPECT_EQ(0, std::memcmp(a.bytes, b.bytes, sizeof a.bytes));
    EXPECT_EQ(a.user, b.user);
}

class PluginDataModes : public ::testing::TestWithParam<int> {};

TEST_P(PluginDataModes, EveryPlainKindRoundTripsBitExact) {
    Settings saved = Settings::edited();
    Table out(saved);
    Settings loaded;
    Table in(loaded);
    load_table(GetParam(), save_table(GetParam(), out.rows), in.rows);
    expect_equal(loaded, saved);
}

TEST_P(PluginDataModes, RenamedOrRetypedRowsKeepTheirValuesAndOthersLoad) {
    Settings saved = Settings::edited();
    Table out(saved);
    const std::string data = save_table(GetParam(), out.rows);
    Settings loaded;
    Table in(loaded);
    in.rows[0].name = "int_values";  // renamed since the data was saved
    in.rows[1].type = PFLT;          // same key, another type
    in.rows[2].name = "TEXT";        // keys are case-sensitive
    load_table(GetParam(), data, in.rows);
    EXPECT_EQ(loaded.ints[0], 0);
    EXPECT_EQ(loaded.doubles[0], 0.0);
    EXPECT_STREQ(loaded.text, "");
    EXPECT_TRUE(same_bits(loaded.floats[0], saved.floats[0]));
    EXPECT_EQ(loaded.words[0], saved.words[0]);
    EXPECT_EQ(loaded.user, saved.user);
}

TEST_P(PluginDataModes, RowsWithoutDataAreNeitherWrittenNorCounted) {
    Settings saved = Settings::edited();
    Table out(saved);
    out.rows[0].data = nullptr;
    out.rows[3].data = nullptr;
    BlockReader r(GetParam(), save_table(GetParam(), out.rows));
    const LWLoadState *l = r.state();
    ASSERT_EQ(l->findBlk(l->readData, kPluginDataLibBlocks), ID_PDLB);
    int n = -1;
    ASSERT_EQ(l->readI4(l->readData, &n, 1), 1);
    EXPECT_EQ(n, 5);
    int blocks = 0;
    while (l->findBlk(l->readData, kPluginDataParamBlocks) == ID_PDPR) {
        ++blocks;
        l->endBlk(l->readData);
    }
    EXPECT_EQ(blocks, 5);

    // Only null rows: an empty library block, and loading it changes nothing.
    PluginDataItem empty[] = {{"ints", PINT, nullptr, 2, nullptr, nullptr}, {nullptr, 0, nullptr, 0, nullptr, nullptr}};
    const std::string data = save_table(GetParam(), empty);
    BlockReader r2(GetParam(), data);
    l = r2.state();
    ASSERT_EQ(l->findBlk(l->readData, kPluginDataLibBlocks), ID_PDLB);
    ASSERT_EQ(l->readI4(l->readData, &n, 1), 1);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(l->findBlk(l->readData, kPluginDataParamBlocks), 0u);
    Settings loaded = Settings::edited();
    Table in(loaded);
    load_table(GetParam(), data, in.rows);
    expect_equal(loaded, Settings::edited());
}

TEST_P(PluginDataModes, UnterminatedTextIsSavedWithinItsBuffer) {
    char text[8];
    std::memset(text, 'x', sizeof text);
    int after = 5;  // a neighbour a faulty writer would run into
    PluginDataItem rows[] = {{"text", PSTR, text, 8, nullptr, nullptr},
                             {"after", PINT, &after, 1, nullptr, nullptr},
                             {nullptr, 0, nullptr, 0, nullptr, nullptr}};
    const std::string data = save_table(GetParam(), rows);
    char back[8] = "";
    int after_back = 0;
    PluginDataItem in[] = {{"text", PSTR, back, 8, nullptr, nullptr},
                           {"after", PINT, &after_back, 1, nullptr, nullptr},
                           {nullptr, 0, nullptr, 0, nullptr, nullptr}};
    load_table(GetParam(), data, in);
    EXPECT_STREQ(back, "xxxxxxx");  // cut to the buffer, terminated
    EXPECT_EQ(after_back, 5);
}

// Every prefix of a save, loaded over distinct values: each value is either kept or the
// saved one, never a mix, and no block is left open.
TEST_P(PluginDataModes, EveryPrefixLoadsIntactItemsOnly) {
    Settings saved = Settings::edited();
    Table out(saved);
    const std::string data = save_table(GetParam(), out.rows);
    for (size_t n = 0; n <= data.size(); ++n) {
        Settings loaded;
        loaded.doubles[0] = 2.5;
        Table in(loaded);
        load_table(GetParam(), data.substr(0, n), in.rows);
        EXPECT_TRUE(loaded.ints[0] == 0 || loaded.ints[0] == saved.ints[0]);
        EXPECT_TRUE(loaded.ints[1] == 0 || loaded.ints[1] == saved.ints[1]);
        EXPECT_TRUE(loaded.doubles[0] == 2.5 || same_bits(loaded.doubles[0], saved.doubles[0])) << n;
        EXPECT_TRUE(loaded.doubles[2] == 0.0 || same_bits(loaded.doubles[2], saved.doubles[2])) << n;
        EXPECT_TRUE(loaded.words[0] == 0 || loaded.words[0] == saved.words[0]);
        EXPECT_NE(std::memchr(loaded.text, '\0', sizeof loaded.text), nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, PluginDataModes, ::testing::Values(LWIO_BINARY, LWIO_ASCII),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return info.param == LWIO_ASCII ? "Text" : "Binary";
                         });

TEST(PluginDataBinary, DoubleIsStoredAsBigEndianIeeeBytes) {
    double one = 1.0;
    PluginDataItem rows[] = {{"d", PDBL, &one, 1, nullptr, nullptr}, {nullptr, 0, nullptr, 0, nullptr, nullptr}};
    const std::string data = save_table(LWIO_BINARY, rows);
    const std::string expected("PDLB\x00\x00\x00\x1A"
                               "\x00\x00\x00\x01"
                               "PDPR\x00\x00\x00\x0E"
                               "d\x00"
                               "PDBL"
                               "\x3F\xF0\x00\x00\x00\x00\x00\x00",
                               34);
    EXPECT_EQ(data, expected);
}

// Forwards to a reader and records the buffer size every readStr is given.
const LWLoadState *g_inner = nullptr;
std::vector<int> g_str_sizes;
int recording_read_str(void *, char *buf, int max) {
    g_str_sizes.push_back(max);
    return g_inner->readStr(g_inner->readData, buf, max);
}

TEST(PluginDataLoad, TextRowGivesItsCountAsTheBufferSize) {
    char text[8] = "abc";
    PluginDataItem rows[] = {{"t", PSTR, text, 8, nullptr, nullptr}, {nullptr, 0, nullptr, 0, nullptr, nullptr}};
    BlockReader r(LWIO_BINARY, save_table(LWIO_BINARY, rows));
    LWLoadState recording = *r.state();
    recording.readStr = recording_read_str;
    g_inner = r.state();
    g_str_sizes.clear();
    text[0] = '\0';
    plugin_data_load(&recording, rows);
    ASSERT_EQ(g_str_sizes.size(), 2u);
    EXPECT_EQ(g_str_sizes[0], 512);  // the item's name
    EXPECT_EQ(g_str_sizes[1], 8);
    EXPECT_STREQ(text, "abc");
}

TEST(PluginDataLoad, HugeStoredCountStopsWhenNoItemIsLeft) {
    // The count claims two billion items; one is there.
    const std::string data("PDLB\x00\x00\x00\x16"
                           "\x7F\xFF\xFF\xFF"
                           "PDPR\x00\x00\x00\x0A"
                           "i\x00"
                           "PINT"
                           "\x00\x00\x00\x2A",
                           30);
    int v = 0;
    PluginDataItem rows[] = {{"i", PINT, &v, 1, nullptr, nullptr}, {nullptr, 0, nullptr, 0, nullptr, nullptr}};
    load_table(LWIO_BINARY, data, rows);
    EXPECT_EQ(v, 42);
}

TEST(PluginDataLoad, ShortItemCommitsOnlyWholeValues) {
    // Two doubles wanted, one and a half stored; two ints wanted, one stored.
    const std::string data("PDLB\x00\x00\x00\x30"
                           "\x00\x00\x00\x02"
                           "PDPR\x00\x00\x00\x12"
                           "d\x00"
                           "PDBL"
                           "\x3F\xF0\x00\x00\x00\x00\x00\x00\x40\x00\x00\x00"
                           "PDPR\x00\x00\x00\x0A"
                           "i\x00"
                           "PINT"
                           "\x00\x00\x00\x03",
                           56);
    double d[2] = {5.0, 6.0};
    int i[2] = {7, 8};
    PluginDataItem rows[] = {{"d", PDBL, d, 2, nullptr, nullptr},
                             {"i", PINT, i, 2, nullptr, nullptr},
                             {nullptr, 0, nullptr, 0, nullptr, nullptr}};
    load_table(LWIO_BINARY, data, rows);
    EXPECT_EQ(d[0], 1.0);
    EXPECT_EQ(d[1], 6.0);
    EXPECT_EQ(i[0], 3);
    EXPECT_EQ(i[1], 8);
}

}  // namespace
}  // namespace ormel
