#include "refhost/point_numbers.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace refhost {
namespace {

// Numbers follow the order points are first met, across the table's growth from nothing.
TEST(PointNumbers, NumbersPointsInTheOrderMetWhileTheTableGrows) {
    std::vector<std::unique_ptr<Point>> points;
    for (int i = 0; i < 1000; ++i) points.push_back(std::make_unique<Point>());
    PointNumbers numbers;
    bool added = false;
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(numbers.insert(points[static_cast<size_t>(i)].get(), added), i);
        EXPECT_TRUE(added);
        // Met again: the same number, nothing added.
        ASSERT_EQ(numbers.insert(points[static_cast<size_t>(i / 2)].get(), added), i / 2);
        EXPECT_FALSE(added);
    }
    EXPECT_EQ(numbers.size(), 1000u);
    for (int i = 0; i < 1000; ++i) EXPECT_EQ(numbers.find(points[static_cast<size_t>(i)].get()), i);
    Point stranger;
    EXPECT_EQ(numbers.find(&stranger), -1);
}

}  // namespace
}  // namespace refhost
