#include "refhost/scripted_caster.h"

#include "refhost/spot_record.h"

#include <gtest/gtest.h>

namespace refhost {
namespace {

TEST(ScriptedCaster, AnswersInOrderAndRecordsEveryRay) {
    LWShaderAccess sa{};
    ScriptedCaster::install(sa);
    const double pos[3] = {1, 2, 3}, dir[3] = {0, 0, 1};
    EXPECT_EQ(sa.rayCast(pos, dir), -1.0);  // no script on this thread

    ScriptedCaster script;
    LWItemID other = reinterpret_cast<LWItemID>(0x10), self = reinterpret_cast<LWItemID>(0x20);
    script.answer({{2.5, nullptr}, {1.0, other}, {-1.0, self}, {0.5, self}});
    EXPECT_EQ(sa.rayCast(pos, dir), 2.5);
    SpotRecord record{};
    LWShaderAccess &hit = record.access;
    EXPECT_EQ(sa.rayShade(pos, dir, &hit), 1.0);
    EXPECT_EQ(hit.objID, other);
    EXPECT_EQ(sa.rayShade(pos, dir, &hit), -1.0);
    EXPECT_EQ(hit.objID, other);  // a miss leaves the record
    EXPECT_EQ(sa.rayShade(pos, dir, &hit), 0.5);
    EXPECT_EQ(sa.rayCast(pos, dir), -1.0);  // script used up

    ASSERT_EQ(script.rays().size(), 5u);
    EXPECT_FALSE(script.rays()[0].shade);
    EXPECT_EQ(script.rays()[0].origin.z, 3.0);
    EXPECT_EQ(script.rays()[0].direction.z, 1.0);
    EXPECT_TRUE(script.rays()[1].shade);
    EXPECT_EQ(script.rays()[1].object, other);
    EXPECT_EQ(script.rays()[2].object, nullptr);
    EXPECT_EQ(script.rays()[3].object, self);
    EXPECT_EQ(script.rays()[4].distance, -1.0);
}

TEST(ScriptedCaster, CallbacksDecideAndScriptsNest) {
    LWShaderAccess sa{};
    ScriptedCaster::install(sa);
    ScriptedCaster outer;
    outer.answer_with([](const ScriptedRay &ray) { return ScriptedAnswer{ray.direction.y > 0 ? 4.0 : -1.0, nullptr}; });
    const double pos[3] = {0, 0, 0}, up[3] = {0, 1, 0}, down[3] = {0, -1, 0};
    EXPECT_EQ(sa.rayCast(pos, up), 4.0);
    EXPECT_EQ(sa.rayCast(pos, down), -1.0);
    {
        ScriptedCaster inner;
        inner.answer_distances({7.0});
        EXPECT_EQ(sa.rayCast(pos, down), 7.0);
        EXPECT_EQ(inner.rays().size(), 1u);
    }
    EXPECT_EQ(sa.rayCast(pos, up), 4.0);
    EXPECT_EQ(outer.rays().size(), 3u);
}

}  // namespace
}  // namespace refhost
