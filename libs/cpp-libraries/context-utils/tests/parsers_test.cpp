#include "parsers/pos_impl.h"
#include "parsers/trackable_object_association_impl.h"
#include "parsers/trackable_object_groups_impl.h"
#include "parsers/trackable_object_impl.h"
#include "parsers/zone_impl.h"

#include <core/exception.h>
#include <core/json.h>

#include <gtest/gtest.h>

#include <boost/optional/optional_io.hpp>

#include <functional>
#include <list>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace parsers = kel::libs::context_utils::parsers;
using kel::libs::core::timestamp;

// Holds the JSON a view reads for as long as the test runs.
class parsers_test : public ::testing::Test {
protected:
    const Json::Value& json(const std::string& text) {
        m_documents.push_back(kel::libs::core::json::parse(text, KEL_SOURCE_LOCATION()));
        return m_documents.back();
    }

    const Json::Value& plist(const Json::Value& notify) { return notify["plist"]; }

    template <typename Read>
    static std::string error_of(Read read) {
        try {
            read();
        } catch (const kel::libs::core::exception& e) {
            return e.get_string_error();
        } catch (const std::exception& e) {
            return e.what();
        }
        return "no error";
    }

    std::vector<std::pair<std::string, std::string>> added_and_removed(const parsers::trackable_object_groups& g) {
        std::vector<std::pair<std::string, std::string>> seen;
        g.for_each_added_group([&](const auto& group) {
            seen.emplace_back("+" + group.get_uid(), group.get_trackable_object_uid());
            return true;
        });
        g.for_each_removed_group([&](const auto& group) {
            seen.emplace_back("-" + group.get_uid(), group.get_trackable_object_uid());
            return true;
        });
        return seen;
    }

    std::list<Json::Value> m_documents;
};

const char* const zone_object = R"({
    "uid": "z1", "name": "Dock", "project_uid": "p1", "shape": "polygon", "zone_type_name": "restricted",
    "active": true, "default_allowed": false, "priority": -2, "zone_alarm_level": 3,
    "sublocation_uid": "s1", "zone_exceptions": ["t1", "t2"], "zone_exceptions_groups": [],
    "updated_at": "2023-11-14T22:13:20.123Z",
    "zone_geometry": {"radius": 4.9, "positions": [{"x": 1, "y": 2.5}, {"x": -3, "y": 4}]},
    "trackables_in_zone": [{"uid": "t1", "entered": {"time": "2023-11-14T22:13:20.123Z", "x": 1, "y": 2, "z": 3}}]
})";

TEST_F(parsers_test, zone_from_a_server_answer_reads_its_fields) {
    parsers::zone_impl z(json(zone_object));
    EXPECT_EQ(z.get_uid(), "z1");
    EXPECT_EQ(z.get_sublocation_uid(), std::string("s1"));
    EXPECT_FALSE(z.get_trackable_object_uid());
    EXPECT_EQ(z.get_radius(), 4);
    EXPECT_EQ(z.get_zone_exceptions(), (std::vector<std::string>{"t1", "t2"}));
    EXPECT_TRUE(z.get_zone_exceptions_groups().empty());
}

TEST_F(parsers_test, zone_time_comes_from_the_envelope_or_from_updated_at) {
    const auto& notify =
        json(std::string(R"({"object":"ZONE","action":"created","ts":1600000000,"ms":7,"plist":)") + zone_object + "}");
    parsers::zone_impl notified(plist(notify), notify);
    EXPECT_EQ(notified.get_ts(), 1600000000u);
    EXPECT_EQ(notified.get_ms(), 7u);
    parsers::zone_impl listed(json(zone_object));
    EXPECT_EQ(listed.get_ts(), 1700000000u);
    EXPECT_EQ(listed.get_ms(), 123u);
}

TEST_F(parsers_test, zone_walks_its_points_and_trackables) {
    parsers::zone_impl z(json(zone_object));
    std::vector<std::pair<int, int>> points;
    EXPECT_TRUE(z.for_each_point([&](const auto& p) {
        points.emplace_back(p.get_x(), p.get_y());
        return true;
    }));
    EXPECT_EQ(points, (std::vector<std::pair<int, int>>{{1, 2}, {-3, 4}}));
    EXPECT_FALSE(z.for_each_point([](const auto&) { return false; })) << "a stopped walk says so";
    z.for_each_trackable_in_zone([](const auto& t) {
        EXPECT_EQ(t.get_uid(), "t1");
        EXPECT_EQ(t.get_z(), 3);
        EXPECT_EQ(t.get_time(), timestamp(1700000000, 123));
        return true;
    });
}

// A polygon of up to the limit is walked; one beyond is refused, naming the
// zone, before a single point is taken.
TEST_F(parsers_test, zone_beyond_the_vertex_limit_is_refused) {
    Json::Value zone = json(zone_object);
    Json::Value& positions = zone["zone_geometry"]["positions"];
    positions = Json::Value(Json::arrayValue);
    const Json::Value& point = json(R"({"x":1,"y":2})");
    for (unsigned int i = 0; i < 100000u; ++i)
        positions.append(point);
    std::size_t walked = 0;
    const auto walk = [&] {
        return error_of([&] {
            parsers::zone_impl(zone).for_each_point([&](const auto&) { return ++walked > 0; });
        });
    };
    EXPECT_EQ(walk(), "no error");
    EXPECT_EQ(walked, 100000u);
    positions.append(positions[0]);
    walked = 0;
    EXPECT_EQ(walk(), "Refused zone z1: 100001 vertices, more than the limit of 100000");
    EXPECT_EQ(walked, 0u);
}

TEST_F(parsers_test, trackable_object_reads_position_node_and_groups) {
    parsers::trackable_object_impl t(json(R"({"uid":"t1","project_uid":"p1","groups":["g1","g2"],
        "node":{"mac_address":"aa:bb","responsive":true},"position":{"x":1.9,"y":-2,"z":3,"sl_id":"s1"}})"));
    EXPECT_EQ(t.get_x(), 1);
    EXPECT_EQ(t.get_y(), -2);
    EXPECT_EQ(t.get_sublocation_uid(), std::string("s1"));
    EXPECT_EQ(t.get_responsive(), true);
    EXPECT_EQ(t.get_mac_address(), std::string("aa:bb"));
    EXPECT_EQ(t.get_groups().value_or(std::vector<std::string>{}), (std::vector<std::string>{"g1", "g2"}));
    parsers::trackable_object_impl bare(json(R"({"uid":"t2","groups":"g1","position":[]})"));
    EXPECT_FALSE(bare.get_x());
    EXPECT_FALSE(bare.get_responsive());
    EXPECT_FALSE(bare.get_groups());
}

TEST_F(parsers_test, groups_notification_yields_added_and_removed_groups_and_skips_others) {
    const auto& notify = json(R"({"object":"TRACKABLE_OBJECT_GROUPS","action":"updated","ts":1700000000,"ms":5,
        "project_uid":"p1","plist":{"g1":{"action":"ADD_GROUP","trackableObject":"t1"},
        "g2":{"action":"REMOVE_GROUP","trackableObject":"t2"},"g3":{"action":"add_group","trackableObject":"t3"}}})");
    parsers::trackable_object_groups_impl g(plist(notify), notify);
    EXPECT_EQ(g.get_ts(), timestamp(1700000000, 5));
    EXPECT_EQ(g.get_project_uid(), "p1");
    EXPECT_EQ(added_and_removed(g), (std::vector<std::pair<std::string, std::string>>{{"+g1", "t1"}, {"-g2", "t2"}}));
}

TEST_F(parsers_test, association_removal_time) {
    const auto& notify = json(R"({"ts":1700000000,"ms":0,"plist":{"project_uid":"p1","mac_address":"aa",
        "trob_uid":"t1","created_at":"2023-11-14T22:13:20.123Z","removed_at":"9999-12-31T23:59:59.000Z"}})");
    parsers::trackable_object_association_impl a(plist(notify), notify);
    EXPECT_EQ(a.get_trackable_object_uid(), "t1");
    EXPECT_EQ(a.get_created_at(), timestamp(1700000000, 123));
    EXPECT_FALSE(a.get_removed_at()) << "the server's far future means never removed";
    const auto& removed = json(R"({"plist":{"removed_at":"2023-11-14T22:13:20.123Z"}})");
    const auto removed_at = parsers::trackable_object_association_impl(plist(removed), removed).get_removed_at();
    ASSERT_TRUE(removed_at);
    EXPECT_EQ(*removed_at, timestamp(1700000000, 123));
}

TEST_F(parsers_test, pos_converts_numbers_and_views_strings) {
    parsers::pos_impl p(json(R"({"tk_uid":"t1","ts":"2023-11-14T22:13:20.123Z","fom":3,
        "data":{"x":12.7,"y":-3,"z":0,"sl_uid":"s1","type":"uwb","mac":"aa"}})"));
    EXPECT_EQ(p.get_x(), 12);
    EXPECT_EQ(p.get_y(), -3);
    EXPECT_EQ(p.get_trackable_uid(), "t1");
    EXPECT_EQ(p.get_sublocation_uid(), "s1");
    EXPECT_EQ(p.get_ts(), timestamp(1700000000, 123));
    EXPECT_EQ(p.get_fom(), 3u);
}

// Every reader of a malformed document fails naming its field.
TEST_F(parsers_test, field_errors_name_their_field) {
    parsers::zone_impl zone(json(R"({"uid":"z1","zone_exceptions":"t1","trackables_in_zone":[{"uid":1,"entered":{}}]})"));
    const auto& array_notify = json(R"({"object":"ZONE","action":"created","ts":1,"ms":2,"plist":[1,2]})");
    parsers::zone_impl array_zone(plist(array_notify), array_notify);
    const auto& groups_notify = json(R"({"ts":"1","ms":5,"plist":{"g1":{"action":"ADD_GROUP","trackableObject":7}}})");
    parsers::trackable_object_groups_impl groups(plist(groups_notify), groups_notify);
    const auto& listed = json(R"({"ts":1,"ms":5,"plist":[]})");
    parsers::trackable_object_groups_impl array_groups(plist(listed), listed);
    const auto& association_notify = json(R"({"plist":{"removed_at":null,"created_at":"2023-11-14"}})");
    parsers::trackable_object_association_impl association(plist(association_notify), association_notify);
    parsers::pos_impl pos(json(R"({"tk_uid":5,"ts":"yesterday","data":{"x":"12","y":1e100}})"));
    parsers::pos_impl flat_pos(json(R"({"data":[1]})"));
    const auto first_trackable = [&](auto read) {
        zone.for_each_trackable_in_zone([&](const auto& t) {
            read(t);
            return false;
        });
    };
    const std::vector<std::pair<std::function<void()>, std::string>> cases{
        {[&] { zone.get_active(); }, R"(context-utils: "active" is not a bool!)"},
        {[&] { zone.get_zone_exceptions(); }, "context-utils: zone_exceptions is not an array!"},
        {[&] { zone.get_zone_exceptions_groups(); }, "context-utils: zone_exceptions_groups is not an array!"},
        {[&] { zone.get_ts(); }, R"(context-utils: failed to parse timestamp: "updated_at")"},
        {[&] { first_trackable([](const auto& t) { t.get_uid(); }); }, R"(context-utils: "uid" is not a string!)"},
        {[&] { first_trackable([](const auto& t) { t.get_x(); }); }, R"(context-utils: "entered.x" is not a number!)"},
        {[&] { array_zone.get_uid(); }, R"(context-utils: "uid" is not a string!)"},
        {[&] { groups.get_ts(); }, "context-utils: ts is not an int!"},
        {[&] { groups.get_project_uid(); }, "context-utils: project_uid is not a string!"},
        {[&] { added_and_removed(groups); }, "context-utils::group_impl: trackableObject is not a string!"},
        {[&] { added_and_removed(array_groups); }, "context-utils: plist is not an object!"},
        {[&] { association.get_removed_at(); }, "context-utils: removed_at is not a string!"},
        {[&] { association.get_created_at(); }, R"(context-utils: failed to parse timestamp: "created_at")"},
        {[&] { association.get_mac_address(); }, "context-utils: mac_address is not a string!"},
        {[&] { association.get_ts(); }, "context-utils: ts is not an int!"},
        {[&] { pos.get_x(); }, "context-utils: pos: data.x is not a number!"},
        {[&] { pos.get_y(); }, "context-utils: pos: data.y is not a number!"},
        {[&] { pos.get_z(); }, "context-utils: pos: data.z is not a number!"},
        {[&] { pos.get_trackable_uid(); }, "context-utils: pos: tk_uid is not a string!"},
        {[&] { pos.get_sublocation_uid(); }, "context-utils: pos: data.sl_uid is not a string!"},
        {[&] { pos.get_fom(); }, "context-utils: pos: data.fom is not an uint!"},
        {[&] { pos.get_ts(); }, R"(timestamp: "yesterday" is invalid!)"},
        {[&] { flat_pos.get_x(); }, "context-utils: pos: data.x is not a number!"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(error_of(cases[i].first), cases[i].second) << "case " << i;
    EXPECT_TRUE(zone.for_each_point([](const auto&) { return false; })) << "no geometry, nothing to walk";
}

}  // namespace
