#include "refhost/render_memory.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "refhost/host.h"
#include "refhost/render_services.h"

namespace refhost {
namespace {

class RenderMemoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        install_render_services(host);
        pool = static_cast<LWGlobalPool *>(host.global_func()(LWGLOBALPOOL_RENDER_GLOBAL, 0));
        ASSERT_NE(pool, nullptr);
    }

    Host host;
    LWGlobalPool *pool = nullptr;
};

TEST_F(RenderMemoryTest, CreateGivesZeroedNamedChunksThatFindReturns) {
    EXPECT_EQ(pool->find("flag"), nullptr);
    EXPECT_EQ(pool->first(), nullptr);
    auto *flag = static_cast<unsigned char *>(pool->create("flag", 4));
    ASSERT_NE(flag, nullptr);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(flag[i], 0);
    flag[0] = 1;
    auto *big = static_cast<double *>(pool->create("table", 64 * sizeof(double)));
    ASSERT_NE(big, nullptr);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(big[i], 0.0);

    EXPECT_EQ(pool->find("flag"), flag);
    EXPECT_EQ(static_cast<unsigned char *>(pool->find("flag"))[0], 1);
    EXPECT_STREQ(pool->ID(flag), "flag");
    EXPECT_EQ(pool->size(big), static_cast<int>(64 * sizeof(double)));
    EXPECT_EQ(pool->first(), flag);
    EXPECT_EQ(pool->next(flag), big);
    EXPECT_EQ(pool->next(big), nullptr);

    // The same name again: the existing chunk when it is large enough, never a smaller one.
    EXPECT_EQ(pool->create("flag", 2), flag);
    EXPECT_EQ(pool->create("flag", 8), nullptr);
    EXPECT_EQ(pool->create("bad", -1), nullptr);
    EXPECT_EQ(pool->create(nullptr, 4), nullptr);
    EXPECT_NE(pool->create("empty", 0), nullptr);

    host.component<RenderMemory>().clear();
    EXPECT_EQ(pool->find("flag"), nullptr);
    EXPECT_EQ(pool->first(), nullptr);
}

// Render threads create their own chunks at once and find each other's by name.
TEST_F(RenderMemoryTest, ThreadsCreateAndFindTheirOwnChunks) {
    constexpr int kThreads = 4, kChunks = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, t] {
            char name[64];
            for (int i = 0; i < kChunks; ++i) {
                std::snprintf(name, sizeof name, "chunk %d %d", t, i);
                auto *word = static_cast<int *>(pool->find(name));
                if (!word) word = static_cast<int *>(pool->create(name, 4));
                ASSERT_NE(word, nullptr);
                EXPECT_EQ(*word, 0);
                *word = t * kChunks + i;
            }
        });
    }
    for (auto &th : threads) th.join();

    EXPECT_EQ(host.component<RenderMemory>().count(), static_cast<size_t>(kThreads * kChunks));
    char name[64];
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kChunks; ++i) {
            std::snprintf(name, sizeof name, "chunk %d %d", t, i);
            auto *word = static_cast<int *>(pool->find(name));
            ASSERT_NE(word, nullptr);
            EXPECT_EQ(*word, t * kChunks + i);
        }
    }
}

// A thread remembers the chunk it found last; that never leaks into a cleared pool or into
// the pool of a host made after this one, even at the same address.
TEST_F(RenderMemoryTest, AChunkFoundBeforeIsNotFoundInAnotherPool) {
    void *flag = pool->create("flag", 4);
    ASSERT_EQ(pool->find("flag"), flag);
    ASSERT_EQ(pool->find("flag"), flag);
    for (int round = 0; round < 3; ++round) {
        auto other = std::make_unique<Host>();
        install_render_services(*other);
        auto *other_pool = static_cast<LWGlobalPool *>(other->global_func()(LWGLOBALPOOL_RENDER_GLOBAL, 0));
        EXPECT_EQ(other_pool->find("flag"), nullptr);
        void *mine = other_pool->create("flag", 4);
        EXPECT_EQ(other_pool->find("flag"), mine);
    }
    EXPECT_EQ(pool->find("flag"), flag);
}

}  // namespace
}  // namespace refhost
