#include "refhost/block_io.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

namespace refhost {
namespace {

const LWBlockIdent kOuter[] = {{LWID_('O', 'U', 'T', 'R'), "Outer"}, {0, nullptr}};
const LWBlockIdent kInner[] = {{LWID_('I', 'N', 'N', 'R'), "Inner"}, {0, nullptr}};
const LWBlockIdent kOther[] = {{LWID_('O', 'T', 'H', 'R'), "Other"}, {0, nullptr}};
const LWBlockIdent kInnerOrOther[] = {kInner[0], kOther[0], {0, nullptr}};

class BlockIoModes : public ::testing::TestWithParam<int> {};

// Writes one value of every kind, with nested and sibling blocks.
std::string write_sample(int mode) {
    BlockWriter w(mode);
    const LWSaveState *s = w.state();
    const int i4[] = {-5, 2147483647, -2147483647 - 1};
    const short i2[] = {-32768, 32767};
    const char i1[] = {static_cast<char>(-128), 127};
    const unsigned char u1[] = {0, 255, 0x3F};
    const unsigned short u2[] = {65535};
    const unsigned int u4[] = {0xFFFFFFFFu, 0x50444C42u};
    const float fp[] = {0.1f, -3.5e-38f, 1e30f};
    s->beginBlk(s->writeData, &kOuter[0], 0);
    s->writeI4(s->writeData, i4, 3);
    s->writeI2(s->writeData, i2, 2);
    s->writeI1(s->writeData, i1, 2);
    s->writeU1(s->writeData, u1, 3);
    s->writeU2(s->writeData, u2, 1);
    s->writeU4(s->writeData, u4, 2);
    s->writeFP(s->writeData, fp, 3);
    s->writeStr(s->writeData, "quote \" back \\ tab\t \xC3\xA9 {brace}");
    s->writeStr(s->writeData, "");
    s->write(s->writeData, "raw", 3);
    s->writeID(s->writeData, &kInner[0]);
    s->beginBlk(s->writeData, &kOther[0], 0);
    s->writeI4(s->writeData, i4, 1);
    s->endBlk(s->writeData);
    s->beginBlk(s->writeData, &kInner[0], 1);
    EXPECT_EQ(s->depth(s->writeData), 2);
    s->writeI4(s->writeData, i4 + 1, 1);
    s->endBlk(s->writeData);
    s->endBlk(s->writeData);
    EXPECT_EQ(s->depth(s->writeData), 0);
    s->endBlk(s->writeData);  // one too many: ignored
    return w.bytes();
}

TEST_P(BlockIoModes, EveryValueKindRoundTrips) {
    BlockReader r(GetParam(), write_sample(GetParam()));
    const LWLoadState *l = r.state();
    void *d = l->readData;
    ASSERT_EQ(l->findBlk(d, kOuter), kOuter[0].id);
    EXPECT_EQ(l->depth(d), 1);
    int i4[3];
    short i2[2];
    char i1[2];
    unsigned char u1[3];
    unsigned short u2[1];
    unsigned int u4[2];
    float fp[3];
    ASSERT_EQ(l->readI4(d, i4, 3), 3);
    EXPECT_EQ(i4[0], -5);
    EXPECT_EQ(i4[1], 2147483647);
    EXPECT_EQ(i4[2], -2147483647 - 1);
    ASSERT_EQ(l->readI2(d, i2, 2), 2);
    EXPECT_EQ(i2[0], -32768);
    EXPECT_EQ(i2[1], 32767);
    ASSERT_EQ(l->readI1(d, i1, 2), 2);
    EXPECT_EQ(static_cast<signed char>(i1[0]), -128);
    EXPECT_EQ(i1[1], 127);
    ASSERT_EQ(l->readU1(d, u1, 3), 3);
    EXPECT_EQ(u1[1], 255);
    EXPECT_EQ(u1[2], 0x3F);
    ASSERT_EQ(l->readU2(d, u2, 1), 1);
    EXPECT_EQ(u2[0], 65535);
    ASSERT_EQ(l->readU4(d, u4, 2), 2);
    EXPECT_EQ(u4[0], 0xFFFFFFFFu);
    EXPECT_EQ(u4[1], 0x50444C42u);
    ASSERT_EQ(l->readFP(d, fp, 3), 3);
    EXPECT_EQ(fp[0], 0.1f);
    EXPECT_EQ(fp[1], -3.5e-38f);
    EXPECT_EQ(fp[2], 1e30f);
    char str[64];
    const char *expected = "quote \" back \\ tab\t \xC3\xA9 {brace}";
    ASSERT_EQ(l->readStr(d, str, sizeof str), static_cast<int>(std::strlen(expected)) + 1);
    EXPECT_STREQ(str, expected);
    // An empty string is a success, told apart from a failure.
    EXPECT_EQ(l->readStr(d, str, sizeof str), 1);
    EXPECT_STREQ(str, "");
    char raw[3];
    ASSERT_EQ(l->read(d, raw, 3), 3);
    EXPECT_EQ(std::string(raw, 3), "raw");
    EXPECT_EQ(l->readID(d, kInnerOrOther), kInner[0].id);
    // The search passes over "Other" to the wanted block.
    ASSERT_EQ(l->findBlk(d, kInner), kInner[0].id);
    ASSERT_EQ(l->readI4(d, i4, 1), 1);
    EXPECT_EQ(i4[0], 2147483647);
    l->endBlk(d);
    l->endBlk(d);
    EXPECT_EQ(l->depth(d), 0);
}

TEST_P(BlockIoModes, ReadersStopAtTheBlockEndAndEndBlkSkipsTheRest) {
    BlockWriter w(GetParam());
    const LWSaveState *s = w.state();
    const int vals[] = {1, 2, 3};
    s->beginBlk(s->writeData, &kOuter[0], 0);
    s->beginBlk(s->writeData, &kInner[0], 0);
    s->writeI4(s->writeData, vals, 2);
    s->endBlk(s->writeData);
    s->writeI4(s->writeData, vals + 2, 1);
    s->endBlk(s->writeData);

    BlockReader r(GetParam(), w.bytes());
    const LWLoadState *l = r.state();
    void *d = l->readData;
    ASSERT_EQ(l->findBlk(d, kOuter), kOuter[0].id);
    ASSERT_EQ(l->findBlk(d, kInner), kInner[0].id);
    int got[5] = {9, 9, 9, 9, 9};
    EXPECT_EQ(l->readI4(d, got, 5), 2);  // the 3 outside the block is not read
    EXPECT_EQ(got[2], 9);
    char str[8];
    EXPECT_LE(l->readStr(d, str, sizeof str), 0);
    EXPECT_STREQ(str, "");
    l->endBlk(d);
    ASSERT_EQ(l->readI4(d, got, 1), 1);
    EXPECT_EQ(got[0], 3);

    // Reopen and leave at once: endBlk skips everything unread.
    BlockReader r2(GetParam(), w.bytes());
    l = r2.state();
    d = l->readData;
    ASSERT_EQ(l->findBlk(d, kOuter), kOuter[0].id);
    ASSERT_EQ(l->findBlk(d, kInner), kInner[0].id);
    l->endBlk(d);
    ASSERT_EQ(l->readI4(d, got, 1), 1);
    EXPECT_EQ(got[0], 3);
}

TEST_P(BlockIoModes, FindBlkThatFindsNothingStaysWhereItWas) {
    BlockWriter w(GetParam());
    const LWSaveState *s = w.state();
    const int v = 42;
    s->beginBlk(s->writeData, &kOuter[0], 0);
    s->beginBlk(s->writeData, &kOther[0], 0);
    s->endBlk(s->writeData);
    s->writeI4(s->writeData, &v, 1);
    s->beginBlk(s->writeData, &kInner[0], 0);
    s->endBlk(s->writeData);
    s->endBlk(s->writeData);
    BlockReader r(GetParam(), w.bytes());
    const LWLoadState *l = r.state();
    void *d = l->readData;
    ASSERT_EQ(l->findBlk(d, kOuter), kOuter[0].id);
    // The outer block's children, never the outer block itself or anything after it.
    EXPECT_EQ(l->findBlk(d, kOuter), 0u);
    EXPECT_EQ(l->depth(d), 1);
    ASSERT_EQ(l->findBlk(d, kOther), kOther[0].id);
    l->endBlk(d);
    int got = 0;
    ASSERT_EQ(l->readI4(d, &got, 1), 1);
    EXPECT_EQ(got, 42);
    ASSERT_EQ(l->findBlk(d, kInner), kInner[0].id);
    l->endBlk(d);
    EXPECT_EQ(l->findBlk(d, kInnerOrOther), 0u);  // nothing left
    l->endBlk(d);
    EXPECT_EQ(l->depth(d), 0);
    l->endBlk(d);  // at the top level: ignored
    EXPECT_EQ(l->depth(d), 0);
}

TEST_P(BlockIoModes, ReadStrIsBoundedAndAlwaysTerminated) {
    BlockWriter w(GetParam());
    w.state()->writeStr(w.state()->writeData, "abcdefghij");
    w.state()->writeStr(w.state()->writeData, "next");
    BlockReader r(GetParam(), w.bytes());
    const LWLoadState *l = r.state();
    char buf[5];
    std::memset(buf, 'X', sizeof buf);
    EXPECT_EQ(l->readStr(l->readData, buf, 4), 4);  // three characters and the terminator
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(buf[4], 'X');
    // The cut string was read in full: the next one follows.
    EXPECT_EQ(l->readStr(l->readData, buf, 5), 5);
    EXPECT_STREQ(buf, "next");
    EXPECT_LT(l->readStr(l->readData, buf, 0), 0);
    EXPECT_LT(l->readStr(l->readData, nullptr, 5), 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, BlockIoModes, ::testing::Values(LWIO_BINARY, LWIO_ASCII),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return info.param == LWIO_ASCII ? "Text" : "Binary";
                         });

TEST(BlockIoBinary, BlocksAreIdentifierSizeAndBigEndianContents) {
    BlockWriter w(LWIO_BINARY);
    const LWSaveState *s = w.state();
    const int v = 256;
    const float f = 1.0f;
    s->writeI4(s->writeData, &v, 1);
    s->beginBlk(s->writeData, &kOuter[0], 0);
    s->writeStr(s->writeData, "ab");
    s->writeFP(s->writeData, &f, 1);
    s->endBlk(s->writeData);
    const std::string expected("\x00\x00\x01\x00"
                               "OUTR\x00\x00\x00\x07"
                               "ab\x00"
                               "\x3F\x80\x00\x00",
                               19);
    EXPECT_EQ(w.bytes(), expected);
}

TEST(BlockIoText, BlocksAreNamedByTokenAndIndented) {
    BlockWriter w(LWIO_ASCII);
    const LWSaveState *s = w.state();
    const int v[] = {256, -1};
    s->beginBlk(s->writeData, &kOuter[0], 0);
    s->writeI4(s->writeData, v, 2);
    s->writeStr(s->writeData, "a\"b\n");
    s->endBlk(s->writeData);
    EXPECT_EQ(w.bytes(), "{ Outer\n  256 -1\n  \"a\\\"b\\x0A\"\n}\n");
}

TEST(BlockIoText, MalformedValuesStopTheReader) {
    BlockReader r(LWIO_ASCII, "{ Outer\n 1 2x 3\n 99999999999 -1 300\n}\n");
    const LWLoadState *l = r.state();
    void *d = l->readData;
    ASSERT_EQ(l->findBlk(d, kOuter), kOuter[0].id);
    int i4[3] = {0, 0, 0};
    EXPECT_EQ(l->readI4(d, i4, 3), 1);
    EXPECT_EQ(i4[1], 0);
    l->endBlk(d);
    BlockReader r2(LWIO_ASCII, "99999999999 -1 300");
    l = r2.state();
    d = l->readData;
    EXPECT_EQ(l->readI4(d, i4, 1), 0);  // out of range for 32 bits
    unsigned char u1 = 7;
    EXPECT_EQ(l->readU1(d, &u1, 1), 0);
    EXPECT_EQ(u1, 7);

    // Values and strings cut off by the end of the data are not read: "34" may have been
    // "3456", and a string without its closing quote is incomplete.
    BlockReader r3(LWIO_ASCII, "12 34");
    l = r3.state();
    EXPECT_EQ(l->readI4(l->readData, i4, 2), 1);
    BlockReader r4(LWIO_ASCII, "\"abc");
    l = r4.state();
    char str[8] = "x";
    EXPECT_LE(l->readStr(l->readData, str, sizeof str), 0);
    EXPECT_STREQ(str, "");
}

TEST(BlockIoText, UnbalancedBracesAreContained) {
    // A stray closing brace outside every block is ignored; an unclosed block ends with the data.
    BlockReader r(LWIO_ASCII, "} { Outer 5 { Inner 6\n");
    const LWLoadState *l = r.state();
    void *d = l->readData;
    ASSERT_EQ(l->findBlk(d, kOuter), kOuter[0].id);
    int v = 0;
    ASSERT_EQ(l->readI4(d, &v, 1), 1);
    EXPECT_EQ(v, 5);
    ASSERT_EQ(l->findBlk(d, kInner), kInner[0].id);
    ASSERT_EQ(l->readI4(d, &v, 1), 1);
    EXPECT_EQ(v, 6);
    EXPECT_EQ(l->readI4(d, &v, 1), 0);
    l->endBlk(d);
    l->endBlk(d);
    EXPECT_EQ(l->depth(d), 0);
    EXPECT_EQ(l->findBlk(d, kOuter), 0u);
}

TEST(BlockIoBinary, BlockClaimingMoreThanItsParentIsCut) {
    // OUTR holds 10 bytes, but its child INNR claims a thousand.
    const std::string data("OUTR\x00\x00\x00\x0A"
                           "INNR\x00\x00\x03\xE8\x00\x07"
                           "\x00\x00\x00\x09",
                           22);
    BlockReader r(LWIO_BINARY, data);
    const LWLoadState *l = r.state();
    void *d = l->readData;
    ASSERT_EQ(l->findBlk(d, kOuter), kOuter[0].id);
    ASSERT_EQ(l->findBlk(d, kInner), kInner[0].id);
    short s = 0;
    ASSERT_EQ(l->readI2(d, &s, 1), 1);
    EXPECT_EQ(s, 7);
    int v = 0;
    EXPECT_EQ(l->readI4(d, &v, 1), 0);  // the parent's end bounds the child
    l->endBlk(d);
    l->endBlk(d);
    ASSERT_EQ(l->readI4(d, &v, 1), 1);
    EXPECT_EQ(v, 9);
}

// Walks arbitrary data with every reader, descending into every block found.
void walk(const LWLoadState *l, int level) {
    void *d = l->readData;
    static const LWBlockIdent any[] = {kOuter[0], kInner[0], kOther[0], {0, nullptr}};
    int i4[4];
    float fp[2];
    char str[16];
    char raw[3];
    for (int step = 0; step < 64; ++step) {
        l->readI4(d, i4, 4);
        l->readFP(d, fp, 2);
        l->readStr(d, str, sizeof str);
        EXPECT_NE(std::memchr(str, '\0', sizeof str), nullptr);
        l->read(d, raw, 3);
        l->readID(d, any);
        if (level < 8 && l->findBlk(d, any)) {
            walk(l, level + 1);
            l->endBlk(d);
        } else if (!l->findBlk(d, any)) {
            return;
        } else {
            l->endBlk(d);
        }
    }
}

TEST(BlockIoHostile, EveryPrefixAndRandomBytesAreReadSafely) {
    for (int mode : {LWIO_BINARY, LWIO_ASCII}) {
        const std::string whole = write_sample(mode);
        for (size_t n = 0; n <= whole.size(); ++n) {
            BlockReader r(mode, whole.substr(0, n));
            walk(r.state(), 0);
            EXPECT_GE(r.state()->depth(r.state()->readData), 0);
        }
        std::mt19937 rng(1234);
        for (int round = 0; round < 300; ++round) {
            std::string data = whole;
            for (int k = 0; k < 4; ++k) data[rng() % data.size()] = static_cast<char>(rng() & 0xFF);
            BlockReader r(mode, data);
            walk(r.state(), 0);
        }
    }
}

TEST(BlockIoFiles, WriteAndReadBack) {
    const std::string path = ::testing::TempDir() + "block_io_file_test.bin";
    const std::string bytes("a\0b\xFF", 4);
    ASSERT_TRUE(write_file(path, bytes));
    std::string back;
    ASSERT_TRUE(read_file(path, back));
    EXPECT_EQ(back, bytes);
    EXPECT_FALSE(read_file(path + ".missing", back));
    EXPECT_TRUE(back.empty());
}

}  // namespace
}  // namespace refhost
