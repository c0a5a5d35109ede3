// A seeded stream of positions and change notifications through the real
// service (binary, Redis, HTTP, ZeroMQ on loopback) over a small site. The
// events on the wire, in order and byte for byte, and the final persisted
// records must match the recording, which was made with the plain engine
// before any tuning for speed: every later change of the service must keep
// this test green. Set QUORVANE_RECORD_GOLDEN=1 to record anew (and say why
// in the commit).
//
// Every message is followed by a sentinel: a position of a tag alone in a
// sublocation of its own, moving in and out of a room there, so that each
// sentinel makes exactly one event. The service handles messages in order,
// so the sentinel's event closes the events of the message before it; the
// stream waits for it, and nothing is ever queued or dropped. All times
// come from the seed: events carry the time of what caused them.
#include "e2e/service_fixture.h"
#include "support/golden.h"
#include "support/site.h"
#include "support/seeded.h"

#include "core/timestamp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>

namespace {

using namespace std::chrono_literals;

const std::string golden_path = std::string(QUORVANE_SOURCE_DIR) + "/tests/e2e/golden/service_stream.txt";
const char* const sentinel_tag = "snt0";
const char* const sentinel_room = "sntZ";
const std::string records_pattern = "quorvane:trackable_objects_in_zones:*";

using kel::test::seeded;

struct spot {
    int x = 0;
    int y = 0;
    bool placed = false;
};

class golden_service_stream : public ::testing::Test, public kel::test::service_fixture {
protected:
    static constexpr int steps = 3000;

    static const std::vector<std::string>& tags() {
        static const std::vector<std::string> all = {"tagA", "tagB", "tagC", "tagD",
                                                     "tagE", "tagF", "tagG", "tagV"};
        return all;
    }
    static const std::vector<std::string>& switchable_zones() {
        static const std::vector<std::string> all = {"romA", "romB", "romC", "romD", "romE", "rsrv", "kpIn", "cirW"};
        return all;
    }

    // Rooms on sl01 (romD overlaps three of them) and one on sl02; a keep-in
    // zone for the visitors' group; a restricted zone that excepts tagB and
    // the IT group; the vehicle tagV carrying two circles. Every uid has
    // four characters, which decode to three distinct bytes: the service
    // keys its records by the decoded bytes, and shorter uids such as "rmA"
    // and "rmB" decode alike.
    void build_site() {
        add_room("romA", 0, 0, 4000, 4000);
        add_room("romB", 4000, 0, 8000, 4000);
        add_room("romC", 0, 4000, 4000, 8000);
        add_room("romD", 2000, 2000, 6000, 6000);
        add_room("romE", 0, 0, 3000, 3000, "sl02");
        add_room("kpIn", 1000, 1000, 7000, 7000);
        last_zone()["zone_type_name"] = "keep_in";
        last_zone()["default_allowed"] = true;
        last_zone()["zone_exceptions_groups"].append("grpV");
        add_room("rsrv", 5000, 4000, 8000, 8000);
        last_zone()["zone_type_name"] = "restricted";
        last_zone()["zone_exceptions"].append("tagB");
        last_zone()["zone_exceptions_groups"].append("grpI");
        add_circle("cirN", "tagV", 600);
        add_circle("cirW", "tagV", 1400);
        for (const auto& t : tags())
            add_tag(t);
        served_tag("tagC")["groups"].append("grpI");
        served_tag("tagD")["groups"].append("grpV");
        served_tag("tagE")["groups"].append("grpV");
        served_tag("tagV")["type"] = "vehicle";
        add_room(sentinel_room, 0, 0, 10000, 10000, "sl09");
        last_zone()["project_uid"] = "prj9";
        add_tag(sentinel_tag, "sl09");
        served_tag(sentinel_tag)["project_uid"] = "prj9";
        serve_site();
    }

    Json::Value& last_zone() { return m_zones[m_zones.size() - 1]; }
    // The stream's clock: a quarter second per step, with a seeded jitter.
    kel::libs::core::timestamp at(int step, int offset_ms = 0) const {
        return kel::libs::core::timestamp(std::chrono::milliseconds(1796551200000LL + 250LL * step + offset_ms));
    }

    void move(int step) {
        const auto& tag = tags()[static_cast<std::size_t>(m_random.below(static_cast<int>(tags().size())))];
        spot& s = m_spots[tag];
        if (!s.placed || m_random.below(20) == 0) {
            s = {m_random.between(-500, 8500), m_random.between(-500, 8500), true};
        } else {
            s.x = std::clamp(s.x + m_random.between(-700, 700), -1000, 9000);
            s.y = std::clamp(s.y + m_random.between(-700, 700), -1000, 9000);
        }
        const std::string sublocation = m_random.below(25) == 0 ? "sl02" : "sl01";
        position(tag, s.x, s.y, sublocation, at(step, m_random.below(200)).to_iso_8601(true, 'T', true));
    }

    void switch_zone(int step) {
        const auto& uid = switchable_zones()[static_cast<std::size_t>(m_random.below(
            static_cast<int>(switchable_zones().size())))];
        if (m_deleted.count(uid))
            return;
        Json::Value& z = served_zone(uid);
        z["active"] = !z["active"].asBool();
        notify("ZONE", "updated", z, at(step, 1));
    }

    void reshape_zone(int step) {
        Json::Value& z = served_zone("romD");
        const int grow = m_random.between(-800, 800);
        z["zone_geometry"]["positions"] =
            kel::test::zone_json(kel::test::room("romD", 2000, 2000, 6000 + grow, 6000 + grow))["zone_geometry"]["positions"];
        notify("ZONE", "updated", z, at(step, 2));
    }

    void change_exceptions(int step) {
        Json::Value& z = served_zone("rsrv");
        Json::Value exceptions(Json::arrayValue);
        exceptions.append("tagB");
        if (m_random.below(2))
            exceptions.append(tags()[static_cast<std::size_t>(m_random.below(7))]);
        z["zone_exceptions"] = exceptions;
        notify("ZONE", "updated", z, at(step, 3));
    }

    // Responsiveness and groups of a tag, as the server reports them.
    void update_tag(int step) {
        const auto& uid = tags()[static_cast<std::size_t>(m_random.below(static_cast<int>(tags().size())))];
        Json::Value& t = served_tag(uid);
        t["node"]["responsive"] = m_random.below(3) != 0;
        Json::Value groups(Json::arrayValue);
        if (m_random.below(3) == 0)
            groups.append(m_random.below(2) ? "grpV" : "grpI");
        t["groups"] = groups;
        notify("TRACKABLE_OBJECT", "updated", t, at(step, 4));
    }

    void delete_zone(int step, const std::string& uid) {
        Json::Value plist;
        plist["uid"] = uid;
        notify("ZONE", "deleted", plist, at(step, 5));
        m_deleted.insert(uid);
    }

    void send_step(int step) {
        if (step == steps * 3 / 5) {
            delete_zone(step, "romB");
            return;
        }
        const int what = m_random.below(100);
        if (what < 86)
            move(step);
        else if (what < 92)
            switch_zone(step);
        else if (what < 94)
            reshape_zone(step);
        else if (what < 96)
            change_exceptions(step);
        else
            update_tag(step);
    }

    // The sentinel's position, then every event up to its own, which are
    // returned. Fails the test when the sentinel's event does not come.
    std::vector<std::string> events_of_step(int step, std::chrono::milliseconds patience) {
        m_sentinel_inside = !m_sentinel_inside;
        position(sentinel_tag, m_sentinel_inside ? 5000 : 50000, 5000, "sl09",
                 at(step, 249).to_iso_8601(true, 'T', true));
        std::vector<std::string> events;
        for (;;) {
            const std::string event = next_event(patience);
            if (event.empty())
                throw std::runtime_error("no sentinel event after step " + std::to_string(step) + "; log:\n" + log());
            if (event.find(std::string("\"obj_uid\":\"") + sentinel_tag + "\"") != std::string::npos)
                return events;
            events.push_back(event);
        }
    }

    // Every persisted record and the set of their ids, keys sorted, hash
    // fields sorted; the sentinel's own record left out.
    std::string persisted() const {
        auto keys = m_redis->cli_lines({"KEYS", records_pattern});
        std::sort(keys.begin(), keys.end());
        std::ostringstream out;
        for (const auto& key : keys) {
            if (key.find(sentinel_tag) != std::string::npos)
                continue;
            const auto type = m_redis->cli_lines({"TYPE", key});
            std::vector<std::string> items;
            if (!type.empty() && type[0] == "set") {
                for (const auto& member : m_redis->cli_lines({"SMEMBERS", key}))
                    if (member.find(sentinel_tag) == std::string::npos)
                        items.push_back(member);
            } else {
                const auto lines = m_redis->cli_lines({"HGETALL", key});
                for (std::size_t i = 0; i + 1 < lines.size(); i += 2)
                    items.push_back(lines[i] + "=" + lines[i + 1]);
            }
            std::sort(items.begin(), items.end());
            out << key;
            for (const auto& item : items)
                out << " " << item;
            out << "\n";
        }
        return out.str();
    }

    std::string transcript() {
        build_site();
        start(false);
        std::ostringstream out;
        // The first sentinel also waits for the service to load the site.
        for (const auto& e : events_of_step(-1, 30s))
            out << "start " << e << "\n";
        for (int step = 0; step < steps; ++step) {
            send_step(step);
            for (const auto& e : events_of_step(step, 10s))
                out << step << " " << e << "\n";
        }
        out << "persisted\n" << persisted();
        return out.str();
    }

    seeded m_random{20261207};
    std::map<std::string, spot> m_spots;
    std::set<std::string> m_deleted;
    bool m_sentinel_inside = false;
};

TEST_F(golden_service_stream, events_and_persisted_records_match_the_recording) {
    const auto actual = transcript();
    EXPECT_EQ(stop(), 0) << log();
    kel::test::expect_golden(golden_path, actual);
}

}  // namespace
