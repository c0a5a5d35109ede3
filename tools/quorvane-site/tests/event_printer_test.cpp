#include "event_printer.h"

#include "core/json.h"

#include <gtest/gtest.h>

namespace {

using kel::site::event_printer;
using kel::site::site_objects;

class event_printer_test : public ::testing::Test {
protected:
    std::string line(const std::string& message) const { return m_printer.event_line(message); }

    site_objects m_objects{kel::libs::core::json::try_parse(R"({
        "zones": [{"uid": "ZoneLab100000000000000", "name": "Lab 1", "zone_type_name": "room"}],
        "trackableObjects": [{"uid": "TagAlice00000000000000", "name": "Alice"}]})")
                               .result};
    event_printer m_printer{m_objects, true};
};

TEST_F(event_printer_test, a_leave_points_away_from_the_zone) {
    EXPECT_EQ(line(R"(#zone_event {"action":"leave","ms":5,"obj_uid":"TagAlice00000000000000",)"
                   R"("ts":1700000000,"x":-10,"y":20,"z":0,"zone_uid":"ZoneLab100000000000000"})"),
              R"(22:13:20.005 LEAVE  tag "Alice" <- zone "Lab 1" (room) at (-10, 20))");
}

TEST_F(event_printer_test, an_event_without_position_has_no_place) {
    EXPECT_EQ(line(R"(#zone_event {"action":"enter","ms":0,"obj_uid":"TagAlice00000000000000",)"
                   R"("ts":1700000000,"zone_uid":"ZoneLab100000000000000"})"),
              R"(22:13:20.000 ENTER  tag "Alice" -> zone "Lab 1" (room))");
}

TEST_F(event_printer_test, an_unreadable_message_is_shown_as_it_came) {
    EXPECT_NE(line("#zone_event {not json").find("unreadable message: #zone_event {not json"), std::string::npos);
}

}  // namespace
