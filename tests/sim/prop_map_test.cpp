// sim::PropMap: properties in tag order, one value per tag, whatever order they come in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/model.h"

namespace {

std::vector<std::uint32_t> Tags(const sim::PropMap& props) {
    std::vector<std::uint32_t> tags;
    for (const auto& [tag, value] : props) tags.push_back(tag);
    return tags;
}

TEST(PropMap, KeepsTagOrderAndOneValuePerTag) {
    sim::PropMap props{{0x30010003, std::int32_t{1}}, {0x0E080003, std::int32_t{2}}};
    props[0x3FFF001F] = std::u16string(u"last");
    props[0x00010003] = std::int32_t{3};
    EXPECT_TRUE(props.insert({0x10000003, std::int32_t{4}}).second);
    EXPECT_FALSE(props.insert({0x30010003, std::int32_t{9}}).second);  // the first value stays
    EXPECT_EQ(Tags(props), (std::vector<std::uint32_t>{0x00010003, 0x0E080003, 0x10000003,
                                                       0x30010003, 0x3FFF001F}));
    EXPECT_EQ(std::get<std::int32_t>(props.at(0x30010003)), 1);
    EXPECT_EQ(std::get<std::int32_t>(props.at(0x0E080003)), 2);

    props[0x30010003] = std::int32_t{5};  // replaces, adds nothing
    EXPECT_EQ(std::get<std::int32_t>(props[0x30010003]), 5);
    EXPECT_EQ(props.size(), 5u);

    EXPECT_EQ(props.erase(0x10000003), 1u);
    EXPECT_EQ(props.erase(0x10000003), 0u);
    EXPECT_EQ(props.find(0x10000003), props.end());
    EXPECT_EQ(props.count(0x3FFF001F), 1u);
    EXPECT_EQ(props.lower_bound(0x30000000)->first, 0x30010003u);
    EXPECT_THROW(props.at(0x12340003), std::out_of_range);

    sim::PropMap same;
    for (auto it = props.end(); it != props.begin();) {
        --it;
        same[it->first] = it->second;
    }
    EXPECT_EQ(same, props);
    same[0x3FFF001F] = std::u16string(u"other");
    EXPECT_NE(same, props);
}

}  // namespace
