#include "objects/trackable_object_impl.h"
#include "objects/zone_impl.h"

#include <core/exception.h>
#include <core/json.h>

#include <gtest/gtest.h>

#include <boost/optional/optional_io.hpp>

#include <functional>
#include <list>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace objects = kel::libs::context_utils::objects;
using kel::libs::core::timestamp;

class objects_test : public ::testing::Test {
protected:
    const Json::Value& json(const std::string& text) {
        m_documents.push_back(kel::libs::core::json::parse(text, KEL_SOURCE_LOCATION()));
        return m_documents.back();
    }

    template <typename Read>
    static std::string error_of(Read read) {
        try {
            read();
        } catch (const kel::libs::core::exception& e) {
            return e.get_string_error();
        }
        return "no error";
    }

    static std::vector<std::pair<int, int>> points_of(const objects::zone& z) {
        std::vector<std::pair<int, int>> points;
        z.get_zone_geometry()->for_each_point([&](const auto& p) {
            points.emplace_back(p.get_x(), p.get_y());
            return true;
        });
        return points;
    }

    std::list<Json::Value> m_documents;
};

TEST_F(objects_test, server_zone_reads_geometry_trackables_and_time) {
    objects::zone_impl z(json(R"({"uid":"z1","project_uid":"p1","active":true,"shape":"circle",
        "zone_type_name":"t","default_allowed":true,"zone_exceptions":["a"],"zone_exceptions_groups":[],
        "trackable_object_uid":"t9","sublocation_uid":null,"updated_at":"2023-11-14T22:13:20.5",
        "zone_geometry":{"radius":2.5,"positions":[{"x":1,"y":2},{"x":3.9,"y":-4}]},
        "trackables_in_zone":[{"uid":"t1"},{"uid":"t2"}]})"));
    EXPECT_EQ(z.get_trackable_object_uid(), std::string("t9"));
    EXPECT_FALSE(z.get_sublocation_uid());
    EXPECT_EQ(z.get_updated_at(), timestamp(1700000000, 500));
    EXPECT_EQ(z.get_zone_geometry()->get_radius(), 2);
    EXPECT_EQ(points_of(z), (std::vector<std::pair<int, int>>{{1, 2}, {3, -4}}));
    std::vector<std::string> inside;
    z.for_each_trackable_in_zone([&](const auto& t) {
        inside.push_back(t.get_uid());
        return true;
    });
    EXPECT_EQ(inside, (std::vector<std::string>{"t1", "t2"}));
}

TEST_F(objects_test, server_trackable_object_reads_position_node_and_groups) {
    objects::trackable_object_impl t(json(R"({"uid":"t1","project_uid":"p1","groups":["g1"],
        "updated_at":"2023-11-14T22:13:20.123Z","node":{"responsive":false},
        "position":{"x":1.5,"y":2,"z":-3,"sl_id":"s1"}})"));
    ASSERT_TRUE(t.get_position());
    EXPECT_EQ(t.get_position()->get_x(), 1);
    EXPECT_EQ(t.get_position()->get_z(), -3);
    EXPECT_EQ(t.get_position()->get_sl_id(), std::string("s1"));
    ASSERT_TRUE(t.get_node());
    EXPECT_FALSE(t.get_node()->get_responsive());
    EXPECT_EQ(t.get_groups().value_or(std::vector<std::string>{}), (std::vector<std::string>{"g1"}));
    EXPECT_EQ(t.get_updated_at(), timestamp(1700000000, 123));
}

TEST_F(objects_test, server_objects_without_optional_parts) {
    objects::zone_impl z(json(R"({"uid":"z1"})"));
    EXPECT_FALSE(z.get_zone_geometry());
    EXPECT_TRUE(z.for_each_trackable_in_zone([](const auto&) { return false; }));
    objects::trackable_object_impl t(json(R"({"uid":"t1","position":null})"));
    EXPECT_FALSE(t.get_position());
    EXPECT_FALSE(t.get_node());
    EXPECT_FALSE(t.get_groups());
}

// Every reader of a malformed server object fails naming its key and kind.
TEST_F(objects_test, field_errors_name_key_and_kind) {
    objects::zone_impl z(json(R"({"uid":1,"active":"yes","zone_geometry":[],"trackables_in_zone":{},
        "zone_exceptions":[1],"updated_at":"soon","sublocation_uid":5})"));
    objects::trackable_object_impl t(json(R"({"position":{"x":"1"},"node":{"responsive":1},"groups":"g"})"));
    const std::vector<std::pair<std::function<void()>, std::string>> cases{
        {[&] { z.get_uid(); }, R"("uid" is not a string!)"},
        {[&] { z.get_active(); }, R"("active" is not a bool!)"},
        {[&] { z.get_zone_geometry(); }, R"("zone_geometry" is not an object!)"},
        {[&] { z.for_each_trackable_in_zone([](const auto&) { return true; }); },
         R"("trackables_in_zone" is not an array!)"},
        {[&] { z.get_zone_exceptions(); }, R"("zone_exceptions" is not an array of strings!)"},
        {[&] { z.get_zone_exceptions_groups(); }, R"("zone_exceptions_groups" is not an array!)"},
        {[&] { z.get_updated_at(); }, R"(failed to parse timestamp: "updated_at")"},
        {[&] { z.get_sublocation_uid(); }, R"("sublocation_uid" is not a string!)"},
        {[&] { t.get_position()->get_x(); }, R"("x" is not a number!)"},
        {[&] { t.get_node()->get_responsive(); }, R"("responsive" is not a bool!)"},
        {[&] { t.get_groups(); }, R"("groups" is not an array!)"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(error_of(cases[i].first), cases[i].second) << "case " << i;
}

}  // namespace
