// Per-time item snapshots over a hand-written item-info table.
#include "gradients/input_time.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "gradients/gradient_context.h"
#include "tests/support/gradient_fake_host.h"

namespace ormel {
namespace {

using test::FakeHost;
using test::item_id;

const LWItemID kLight1 = item_id(0x100), kLight2 = item_id(0x101), kCamera = item_id(0x200);
const LWItemID kObject1 = item_id(0x300), kObject2 = item_id(0x301), kBone = item_id(0x400);

class InputTime : public ::testing::Test {
protected:
    void SetUp() override { host.bind(); }

    // Item n's vector for a code: distinct for every item and code.
    static Vec3 vector_of(int n, int code) { return Vec3(n, code, n * 100 + code); }

    void add_scene() {
        int n = 0;
        const auto fill = [&](test::FakeItem &item) {
            ++n;
            for (int code = 1; code <= 12; ++code) item.vectors[code - 1] = vector_of(n, code);
        };
        fill(host.add(kLight1, LWI_LIGHT, "light1"));
        fill(host.add(kLight2, LWI_LIGHT, "light2"));
        fill(host.add(kCamera, LWI_CAMERA, "camera"));
        fill(host.add(kObject1, LWI_OBJECT, "object1"));
        fill(host.add(kBone, LWI_BONE, "bone", kObject1));
        fill(host.add(kObject2, LWI_OBJECT, "object2"));
    }

    static InputTimeData *create(double time, int frame) {
        LWTxtrParamDesc row = GradientInputTable[1];
        return static_cast<InputTimeData *>(input_time_create(nullptr, &row, 2, time, frame));
    }

    // Looks an item up with a recognisable preset; returns what the look-up left.
    static Vec3 look_up(const InputTimeData *data, LWItemID id, int code) {
        Vec3 out(-7.0, -7.0, -7.0);
        item_cache_lookup(data ? data->cache.get() : nullptr, id, code, out);
        return out;
    }

    FakeHost host;
};

const Vec3 kPreset(-7.0, -7.0, -7.0);

TEST_F(InputTime, SnapshotHoldsEveryItemKindInWalkOrder) {
    add_scene();
    InputTimeData *data = create(2.5, 60);
    ASSERT_NE(data, nullptr);
    ASSERT_NE(data->cache, nullptr);
    EXPECT_EQ(data->time, 2.5);
    EXPECT_EQ(data->frame, 60);
    EXPECT_EQ(data->cache->time, 2.5);
    EXPECT_EQ(data->cache->frame, 60);
    EXPECT_EQ(data->cache->items.size(), 6u);

    // Lights, then cameras, then each object followed by its bones; twelve queries per
    // item in a fixed code order.
    std::vector<std::string> expected = {"first 1 ?"};
    const auto item_calls = [&](const std::string &name) {
        for (int code : {1, 8, 5, 6, 7, 12, 2, 3, 4, 9, 10, 11}) {
            expected.push_back("param " + name + " " + std::to_string(code));
        }
    };
    item_calls("light1");
    item_calls("light2");
    expected.push_back("first 2 ?");
    item_calls("camera");
    expected.push_back("first 0 ?");
    item_calls("object1");
    expected.push_back("first 3 object1");
    item_calls("bone");
    item_calls("object2");
    expected.push_back("first 3 object2");
    EXPECT_EQ(host.take_log(), expected);

    // Every code of every item comes back as fetched, with no host call.
    const LWItemID ids[] = {kLight1, kLight2, kCamera, kObject1, kBone, kObject2};
    for (int n = 1; n <= 6; ++n) {
        for (int code = 1; code <= 12; ++code) {
            EXPECT_EQ(look_up(data, ids[n - 1], code), vector_of(n, code)) << n << " " << code;
        }
    }
    EXPECT_TRUE(host.take_log().empty());
    input_time_free(nullptr, 2, data);
}

TEST_F(InputTime, LookUpsThatFindNothingKeepThePreset) {
    add_scene();
    InputTimeData *data = create(0.0, 0);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(look_up(data, item_id(0x999), LWIP_W_POSITION), kPreset);  // absent item
    EXPECT_EQ(look_up(data, LWITEM_NULL, LWIP_W_POSITION), kPreset);
    EXPECT_EQ(look_up(data, kObject1, 0), kPreset);
    EXPECT_EQ(look_up(data, kObject1, 13), kPreset);
    EXPECT_EQ(look_up(data, kObject1, -1), kPreset);
    EXPECT_EQ(look_up(nullptr, kObject1, LWIP_W_POSITION), kPreset);  // no snapshot
    input_time_free(nullptr, 2, data);

    // An empty scene gives an empty snapshot.
    FakeHost empty;
    empty.bind();
    data = create(0.0, 0);
    ASSERT_NE(data, nullptr);
    ASSERT_NE(data->cache, nullptr);
    EXPECT_TRUE(data->cache->items.empty());
    EXPECT_EQ(look_up(data, kObject1, LWIP_W_POSITION), kPreset);
    input_time_free(nullptr, 2, data);
}

TEST_F(InputTime, ItemListedTwiceKeepsTheLastValuesFetched) {
    host.add(kLight1, LWI_LIGHT, "twice").vectors[LWIP_W_POSITION - 1] = Vec3(1.0, 2.0, 3.0);
    host.add(kLight1, LWI_CAMERA, "twice");
    host.drift_per_fetch = true;
    InputTimeData *data = create(0.0, 0);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->cache->items.size(), 1u);
    EXPECT_EQ(host.count("param twice"), 24);
    EXPECT_EQ(look_up(data, kLight1, LWIP_W_POSITION), Vec3(101.0, 102.0, 103.0));
    input_time_free(nullptr, 2, data);
}

TEST_F(InputTime, RecordsForTwoTimesAreIndependent) {
    test::FakeItem &object = host.add(kObject1, LWI_OBJECT, "object1");
    object.vectors[LWIP_W_POSITION - 1] = Vec3(1.0, 0.0, 0.0);
    object.velocity = Vec3(0.0, 2.0, 0.0);
    InputTimeData *early = create(0.0, 0);
    InputTimeData *late = create(1.5, 45);
    ASSERT_NE(early, nullptr);
    ASSERT_NE(late, nullptr);
    EXPECT_NE(early->cache.get(), late->cache.get());
    EXPECT_EQ(look_up(early, kObject1, LWIP_W_POSITION), Vec3(1.0, 0.0, 0.0));
    EXPECT_EQ(look_up(late, kObject1, LWIP_W_POSITION), Vec3(1.0, 3.0, 0.0));

    // Items added later are absent from both; freeing one leaves the other whole.
    host.add(kObject2, LWI_OBJECT, "object2");
    input_time_free(nullptr, 2, early);
    EXPECT_EQ(look_up(late, kObject1, LWIP_W_POSITION), Vec3(1.0, 3.0, 0.0));
    EXPECT_EQ(look_up(late, kObject2, LWIP_W_POSITION), kPreset);
    EXPECT_EQ(late->time, 1.5);
    input_time_free(nullptr, 2, late);
}

TEST_F(InputTime, NoRowNoRecordAndNullCleanupDoesNothing) {
    add_scene();
    EXPECT_EQ(input_time_create(nullptr, nullptr, 2, 0.0, 0), nullptr);
    EXPECT_TRUE(host.take_log().empty());
    input_time_free(nullptr, 2, nullptr);
}

TEST_F(InputTime, WithoutItemInfoTheSnapshotIsEmptyAndARebuildKeepsOldContents) {
    add_scene();
    FakeHost::unbind();  // no item-info service bound at activation
    InputTimeData *data = create(3.0, 90);
    ASSERT_NE(data, nullptr);
    ASSERT_NE(data->cache, nullptr);
    EXPECT_TRUE(data->cache->items.empty());
    EXPECT_EQ(data->time, 3.0);
    input_time_free(nullptr, 2, data);

    // A rebuild without the service leaves an existing snapshot, its time and frame.
    host.bind();
    data = create(1.0, 30);
    ASSERT_NE(data, nullptr);
    FakeHost::unbind();
    item_cache_rebuild(data->cache.get(), 9.0, 270);
    EXPECT_EQ(data->cache->items.size(), 6u);
    EXPECT_EQ(data->cache->time, 1.0);
    EXPECT_EQ(data->cache->frame, 30);
    input_time_free(nullptr, 2, data);
}

TEST_F(InputTime, AddIgnoresIdZeroAndRefreshesAnExistingEntry) {
    host.add(kObject1, LWI_OBJECT, "object1").vectors[LWIP_UP - 1] = Vec3(0.0, 1.0, 0.0);
    ItemStateCache cache;
    item_cache_add(&cache, LWITEM_NULL, 0.0);
    EXPECT_TRUE(cache.items.empty());
    EXPECT_EQ(host.count("param"), 0);
    item_cache_add(&cache, kObject1, 0.0);
    const ItemState *state = cache.items.at(kObject1).get();
    host.items[kObject1].vectors[LWIP_UP - 1] = Vec3(0.0, 0.0, 1.0);
    item_cache_add(&cache, kObject1, 0.0);
    EXPECT_EQ(cache.items.size(), 1u);
    EXPECT_EQ(cache.items.at(kObject1).get(), state);
    Vec3 up;
    item_cache_lookup(&cache, kObject1, LWIP_UP, up);
    EXPECT_EQ(up, Vec3(0.0, 0.0, 1.0));
}

// Render threads look items up while other records are being built and freed.
TEST_F(InputTime, ThreadedLookUpsWhileRecordsComeAndGo) {
    add_scene();
    InputTimeData *shared = create(0.0, 0);
    ASSERT_NE(shared, nullptr);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                if (t == 0) {
                    input_time_free(nullptr, 2, create(i, i));
                } else if (look_up(shared, kObject1, LWIP_W_POSITION) != vector_of(4, 8)) {
                    ++wrong;
                }
            }
        });
    }
    for (std::thread &thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
    input_time_free(nullptr, 2, shared);
}

}  // namespace
}  // namespace ormel
