#include "context_save_restore_impl.h"

#include "output/context_builders.h"
#include "support/log_capture.h"
#include "support/recording_sender.h"
#include "support/redis_server.h"

#include "core/exception.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using kel::context::trackable_object_in_zone;
using kel::libs::core::timestamp;
using kel::test::uid_text;

const std::string inside = "1100";
const std::string stateless = "0000";
const std::string records_key = "quorvane:trackable_objects_in_zones:";

std::string id(const std::string& object, const std::string& zone) {
    return object + "-" + zone;
}

// A service's persistence against a real Redis: the site (zones and objects
// the server would report) survives restarts of the service, which start
// from an empty context, load the site and restore.
class persistence : public ::testing::Test {
protected:
    persistence() { start_service(); }

    void start_service() {
        m_persistence.reset();
        m_client.reset();
        m_context = std::make_unique<kel::context::writable_context>();
        for (const auto& zone : m_site_zones)
            m_context->take_zones().add(kel::test::make_zone(zone.first, zone.second), timestamp());
        for (const auto& object : m_site_objects)
            m_context->take_trackable_objects().add(kel::test::make_object(object), timestamp());
        m_client = std::make_unique<kel::redis::context>("127.0.0.1", m_redis.port(), 10, "");
        m_persistence = std::make_unique<kel::context_save_restore_impl>(
            *m_client, m_sender, *m_context, std::set<std::string>{"ignored"}, m_logger);
    }

    void restart_service() {
        start_service();
        m_persistence->restore();
    }

    void add_zone(const std::string& uid, const std::string& type = "polygon") {
        m_site_zones.emplace(uid, type);
        m_context->take_zones().add(kel::test::make_zone(uid, type), timestamp());
    }
    void add_object(const std::string& uid) {
        m_site_objects.insert(uid);
        m_context->take_trackable_objects().add(kel::test::make_object(uid), timestamp());
    }
    void delete_zone(const std::string& uid) {
        m_site_zones.erase(uid);
        m_context->take_zones().remove(uid, timestamp());
    }

    // `flags` as flags_in_memory() gives them.
    trackable_object_in_zone& put_record(const std::string& object, const std::string& zone,
                                         const std::string& flags) {
        auto made = kel::test::make_record(object, zone);
        const auto key = made.get_uid();
        auto& record = m_context->take_trackable_objects_in_zones().try_emplace(key, std::move(made)).first->second;
        record.set_in_zone(flags[0] == '1');
        record.set_event_generated(flags[1] == '1');
        record.set_leave_generated(flags[2] == '1');
        record.set_in_debouncing_state(flags[3] == '1');
        return record;
    }
    void save(const trackable_object_in_zone& record) {
        m_persistence->save(record, m_context->get_zones().try_get(record.get_zone_uid()));
    }
    void save(const std::string& object, const std::string& zone, const std::string& flags) {
        save(put_record(object, zone, flags));
    }

    const trackable_object_in_zone* in_memory(const std::string& object, const std::string& zone) const {
        const auto& records = m_context->get_trackable_objects_in_zones();
        const auto found = records.find(trackable_object_in_zone::make_uid(kel::parse_uid(object), zone));
        return found == records.end() ? nullptr : &found->second;
    }
    // "<in zone><event generated><leave generated><debouncing>", each 0 or
    // 1; "none" when memory has no such record.
    std::string flags_in_memory(const std::string& object, const std::string& zone) const {
        const auto* record = in_memory(object, zone);
        if (!record)
            return "none";
        std::string flags;
        for (bool flag : {record->is_in_zone(), record->is_event_generated(), record->is_leave_generated(),
                          record->is_in_debouncing_state()})
            flags += flag ? '1' : '0';
        return flags;
    }

    std::vector<std::pair<std::string, std::string>> stored(const std::string& id) const {
        return m_redis.hash(records_key + id);
    }
    std::set<std::string> stored_ids() const { return m_redis.members(records_key + "set"); }
    std::string cli(const std::vector<std::string>& arguments) const { return m_redis.cli_line(arguments); }

    const std::string m_a = uid_text("objectA");
    const std::string m_b = uid_text("objectB");
    const std::string m_x = uid_text("zoneX");
    const std::string m_y = uid_text("zoneY");
    kel::test::redis_server m_redis;
    kel::libs::core::logger m_logger{"quorvane", "persistence"};
    kel::test::log_capture m_log{m_logger};
    std::map<std::string, std::string> m_site_zones;
    std::set<std::string> m_site_objects;
    // Leaves are noted " with object" when the object was given.
    kel::test::recording_sender m_sender{true};
    std::unique_ptr<kel::context::writable_context> m_context;
    std::unique_ptr<kel::redis::context> m_client;
    std::unique_ptr<kel::context_save_restore_impl> m_persistence;
};

TEST_F(persistence, save_writes_every_field_in_order_and_indexes_the_id) {
    add_zone(m_x);
    save(m_a, m_x, "1010");
    const std::vector<std::pair<std::string, std::string>> expected{
        {"uid", id(m_a, m_x)},  {"trackable_object_uid", m_a}, {"zone_uid", m_x},          {"project_uid", "project"},
        {"sublocation_uid", "sublocation"}, {"zone_type_name", "polygon"}, {"in_zone", "true"},
        {"event_generated", "false"},       {"leave_generated", "true"},   {"in_debouncing_state", "false"}};
    EXPECT_EQ(stored(id(m_a, m_x)), expected);
    EXPECT_EQ(stored_ids(), std::set<std::string>{id(m_a, m_x)});
}

TEST_F(persistence, a_stateless_record_is_deleted_after_the_save_signal_saw_it) {
    add_zone(m_x);
    save(m_a, m_x, inside);
    std::vector<std::string> seen;
    const auto connection = m_persistence->do_on_save(
        [&](const trackable_object_in_zone& record, boost::optional<const kel::context::zone&> zone) {
            seen.push_back(record.get_zone_uid() + (zone ? " with zone" : "") + " stored fields " +
                           std::to_string(stored(id(m_a, m_x)).size()));
        });
    save(m_a, m_x, stateless);
    EXPECT_EQ(seen, std::vector<std::string>{m_x + " with zone stored fields 10"});
    EXPECT_TRUE(stored(id(m_a, m_x)).empty());
    EXPECT_TRUE(stored_ids().empty());
}

// A record saved again as it was last written is not written again: Redis
// holds it. A change, a failed write or a reconnect ends that; a skipped
// save sends nothing and cannot notice a lost connection, the watchdog's
// check does. Tampering behind the persistence's back shows whether a
// write went out.
TEST_F(persistence, a_save_is_skipped_only_while_redis_is_known_to_hold_the_record) {
    add_zone(m_x);
    m_persistence->restore();
    auto& record = put_record(m_a, m_x, inside);
    const auto key = records_key + id(m_a, m_x);
    const auto stored_in_zone = [&] { return cli({"HGET", key, "in_zone"}); };
    save(record);
    int signals = 0;
    const auto connection = m_persistence->do_on_save(
        [&](const trackable_object_in_zone&, boost::optional<const kel::context::zone&>) { ++signals; });
    cli({"HSET", key, "in_zone", "tampered"});
    save(record);
    EXPECT_EQ(signals, 1);
    EXPECT_EQ(stored_in_zone(), "tampered");
    record.set_in_debouncing_state(true);
    save(record);
    EXPECT_EQ(stored_in_zone(), "true");

    // A key of the wrong type: Redis refuses the write, the connection stays.
    cli({"SET", key, "not a hash"});
    record.set_in_debouncing_state(false);
    EXPECT_THROW(save(record), kel::libs::core::exception);
    cli({"DEL", key});
    save(record);
    EXPECT_EQ(cli({"HGET", key, "in_debouncing_state"}), "false");

    cli({"HSET", key, "in_zone", "tampered"});
    cli({"CLIENT", "KILL", "TYPE", "normal"});
    save(record);
    EXPECT_EQ(stored_in_zone(), "tampered");
    m_persistence->check_store();
    EXPECT_EQ(stored_in_zone(), "true");
}

// Within a burst of the client, batches and single saves only append; a
// failed burst counts as a failed batch, and so does what the next burst
// skipped while it was in flight.
TEST_F(persistence, a_burst_writes_at_its_end_and_a_failed_one_is_rewritten_after_the_next) {
    add_zone(m_x);
    m_persistence->restore();
    m_client->begin_burst();
    m_persistence->begin_batch();
    save(m_a, m_x, inside);
    m_persistence->end_batch();
    save(m_b, m_x, inside);
    EXPECT_EQ(stored_ids(), std::set<std::string>{}) << "nothing sent yet";
    m_client->end_burst();
    m_persistence->burst_sent();
    m_persistence->end_burst(true);
    EXPECT_EQ(stored_ids(), (std::set<std::string>{id(m_a, m_x), id(m_b, m_x)}));

    cli({"SET", records_key + id(m_b, m_x), "not a hash"});
    m_client->begin_burst();
    save(m_b, m_x, "1101");
    m_client->send_burst();
    m_persistence->burst_sent();
    m_client->begin_burst();
    save(m_b, m_x, "1101");
    EXPECT_THROW(m_client->settle_burst(), kel::libs::core::exception);
    m_persistence->end_burst(false);
    cli({"DEL", records_key + id(m_b, m_x)});
    m_client->end_burst();
    m_persistence->burst_sent();
    m_persistence->end_burst(true);
    EXPECT_EQ(stored(id(m_b, m_x)).size(), 10u) << "the unchanged save skipped in flight is rewritten";
}

TEST_F(persistence, restarts_restore_each_flag_as_saved) {
    const std::vector<std::array<std::string, 3>> records{
        {m_a, m_x, "1000"}, {m_a, m_y, "0100"}, {m_b, m_x, "0010"}, {m_b, m_y, "0001"}};
    add_zone(m_x);
    add_zone(m_y);
    add_object(m_a);
    add_object(m_b);
    for (const auto& record : records)
        save(record[0], record[1], record[2]);
    for (int restart = 0; restart < 2; ++restart) {
        restart_service();
        EXPECT_EQ(m_context->get_trackable_objects_in_zones().size(), 4u);
        for (const auto& record : records)
            EXPECT_EQ(flags_in_memory(record[0], record[1]), record[2]) << "restart " << restart;
    }
    EXPECT_EQ(cli({"GET", "quorvane:version"}), "1");
    EXPECT_TRUE(m_sender.m_events.empty());
}

// A record that cannot be read is skipped with one error line naming its
// key; the others are restored and the start goes on.
TEST_F(persistence, an_unreadable_record_is_skipped_with_one_line_naming_its_key) {
    struct bad_record {
        std::vector<std::string> command;
        std::string reason;
    };
    const std::string key = records_key + "bad-id";
    const std::vector<bad_record> cases = {
        {{"HSET", key, "zone_uid", m_x},
         "fields missing: trackable_object_uid, project_uid, sublocation_uid, zone_type_name, in_zone, "
         "event_generated, leave_generated, in_debouncing_state"},
        {{"SET", key, "not a hash"}, "WRONGTYPE"},
    };
    add_zone(m_x);
    add_object(m_a);
    save(m_a, m_x, inside);
    for (const auto& c : cases) {
        cli({"DEL", key});
        cli(c.command);
        cli({"SADD", records_key + "set", "bad-id"});
        restart_service();
        EXPECT_EQ(flags_in_memory(m_a, m_x), inside);
        const auto lines = m_log.take();
        EXPECT_EQ(kel::test::log_capture::count(lines, "Skipped the stored record " + key + ": "), 1u) << c.reason;
        EXPECT_EQ(kel::test::log_capture::count(lines, c.reason), 1u) << c.reason;
        EXPECT_EQ(cli({"GET", "quorvane:version"}), "1");
    }
}

// A version that is no number, or one this build does not know, refuses to
// start: reading on would take another layout for ours.
TEST_F(persistence, an_unknown_layout_version_refuses_the_restore_naming_key_and_value) {
    for (const std::string version : {"abc", "2", "1.5", " 1", ""}) {
        cli({"SET", "quorvane:version", version});
        start_service();
        try {
            m_persistence->restore();
            ADD_FAILURE() << "restore succeeded with version \"" << version << "\"";
        } catch (const kel::libs::core::exception& e) {
            EXPECT_EQ(e.get_string_error().rfind("Unknown layout version in quorvane:version: \"" + version + "\"", 0),
                      0u)
                << e.get_string_error();
        }
        EXPECT_EQ(cli({"GET", "quorvane:version"}), version) << "left as it was";
    }
}

// Restore and check_event drop a record whose zone or object is gone, from
// memory and Redis, sending the leave it owes, stamped now. The zone of
// a-x is gone here, and so is b (never in the site), whose b-y owes none.
TEST_F(persistence, a_record_whose_zone_or_object_is_gone_is_dropped_sending_the_owed_leave_now) {
    add_zone(m_y);
    add_object(m_a);
    for (const bool at_restore : {true, false}) {
        add_zone(m_x);
        save(m_a, m_x, inside);
        save(m_b, m_y, "1001");
        delete_zone(m_x);
        const auto before = timestamp::current_time();
        if (at_restore) {
            restart_service();
        } else {
            m_persistence->check_event(*in_memory(m_a, m_x));
            m_persistence->check_event(*in_memory(m_b, m_y));
        }
        EXPECT_EQ(m_sender.take(), std::vector<std::string>{"leave " + m_a + " " + m_x + " with object"});
        EXPECT_GE(m_sender.m_times.back(), before);
        EXPECT_LE(m_sender.m_times.back(), timestamp::current_time());
        EXPECT_TRUE(m_context->get_trackable_objects_in_zones().empty()) << "at restore " << at_restore;
        EXPECT_TRUE(stored_ids().empty());
        EXPECT_TRUE(stored(id(m_a, m_x)).empty());
        EXPECT_TRUE(stored(id(m_b, m_y)).empty());
    }
}

// After a failed batch, which of its commands took effect is unknown (it
// removed a record that memory dropped at once); Redis that came back
// empty lost every record; one that was out of reach missed writes. Each
// time the next operation makes Redis hold exactly what memory holds.
TEST_F(persistence, after_a_failed_batch_or_a_lost_connection_redis_is_made_to_hold_what_memory_holds) {
    add_zone(m_x);
    add_zone(m_y);
    m_persistence->restore();
    save(m_a, m_x, inside);
    cli({"SET", records_key + id(m_b, m_x), "not a hash"});
    m_persistence->begin_batch();
    save(m_b, m_x, inside);
    EXPECT_THROW(m_persistence->end_batch(), kel::libs::core::exception);
    cli({"DEL", records_key + id(m_b, m_x)});
    cli({"SADD", records_key + "set", "stale-id"});
    m_persistence->check_store();
    EXPECT_EQ(stored_ids(), (std::set<std::string>{id(m_a, m_x), id(m_b, m_x)}));
    EXPECT_EQ(stored(id(m_b, m_x)).size(), 10u);

    save(m_a, m_y, "1001");
    m_redis.restart();
    save(m_b, m_y, inside);
    EXPECT_EQ(stored_ids(), (std::set<std::string>{id(m_a, m_x), id(m_a, m_y), id(m_b, m_x), id(m_b, m_y)}));
    EXPECT_EQ(stored(id(m_a, m_y)).at(9), std::make_pair(std::string("in_debouncing_state"), std::string("true")));
    EXPECT_EQ(cli({"GET", "quorvane:version"}), "1");

    cli({"SADD", records_key + "set", "stale-id"});
    cli({"HSET", records_key + "stale-id", "uid", "stale-id"});
    cli({"CLIENT", "KILL", "TYPE", "normal"});
    save(m_b, m_y, stateless);
    EXPECT_EQ(stored_ids(), (std::set<std::string>{id(m_a, m_x), id(m_a, m_y), id(m_b, m_x)}));
    EXPECT_TRUE(stored("stale-id").empty());
}

// --- migration of the older layout -------------------------------------------------

class older_layout : public persistence {
protected:
    // m_odd's second entry is malformed.
    void write_older_layout() {
        write_older_object(m_a, {"1 2 1 3 1 " + m_x, "1 2 1 3 1 " + m_ignored, "1 2 0 3 0 " + m_y});
        write_older_object(m_odd, {"4,5,1,6,1," + m_x, malformed});
        for (const auto& zone : {std::make_pair(m_x, "polygon"), std::make_pair(m_y, "polygon"),
                                 std::make_pair(m_ignored, "ignored")}) {
            cli({"SADD", "zones:set", zone.first});
            cli({"HSET", "zones:" + zone.first + ":data", "zone_type", zone.second});
            for (const char* suffix : {":points", ":excepted_obj", ":excepted_groups"})
                cli({"SET", "zones:" + zone.first + suffix, "x"});
        }
    }

    void write_older_object(const std::string& uid, const std::vector<std::string>& entries) {
        const auto key = "trackable_objects:" + uid;
        cli({"SADD", "trackable_objects:set", uid});
        cli({"HSET", key + ":data", "project_uid", "old project", "sl_uid", "old sublocation"});
        for (const auto& entry : entries)
            cli({"RPUSH", key + ":zones", entry});
        for (const char* suffix : {":zones:last_event", ":own_zones", ":groups", ":groups_deleted"})
            cli({"SET", key + suffix, "x"});
    }

    void load_site() {
        add_zone(m_x);
        add_zone(m_y);
        add_zone(m_ignored, "ignored");
        add_object(m_a);
        add_object(m_odd);
    }

    // A uid that a format string would misread twice over.
    const std::string m_odd = "50% off %s%n now";
    const std::string m_ignored = uid_text("zoneIgnored");
    const std::string malformed = "1 2 yes 3 1 " + m_y;
};

TEST_F(older_layout, is_migrated_once_and_deleted_skipping_a_malformed_entry_with_a_line) {
    write_older_layout();
    load_site();
    m_persistence->restore();

    EXPECT_EQ(flags_in_memory(m_a, m_x), inside);
    EXPECT_EQ(flags_in_memory(m_a, m_ignored), "1000");
    EXPECT_EQ(flags_in_memory(m_a, m_y), stateless);
    EXPECT_EQ(flags_in_memory(m_odd, m_x), inside);
    EXPECT_EQ(flags_in_memory(m_odd, m_y), "none");
    EXPECT_EQ(kel::test::log_capture::count(m_log.take(), "Skipped a malformed zone entry of trackable object " +
                                                              m_odd + " in the older layout: \"" + malformed + "\""),
              1u);
    EXPECT_EQ(in_memory(m_odd, m_x)->get_project_uid(), "old project");
    EXPECT_EQ(in_memory(m_odd, m_x)->get_sublocation_uid(), "old sublocation");
    const std::set<std::string> migrated_ids{id(m_a, m_x), id(m_a, m_ignored), id(m_odd, m_x)};
    EXPECT_EQ(stored_ids(), migrated_ids);
    std::set<std::string> expected_keys{"quorvane:version", records_key + "set"};
    for (const auto& id : migrated_ids)
        expected_keys.insert(records_key + id);
    const auto keys = m_redis.cli_lines({"KEYS", "*"});
    EXPECT_EQ(std::set<std::string>(keys.begin(), keys.end()), expected_keys);
    EXPECT_EQ(cli({"GET", "quorvane:version"}), "1");

    write_older_layout();
    restart_service();
    EXPECT_EQ(m_redis.members("trackable_objects:set"), (std::set<std::string>{m_a, m_odd}));
    EXPECT_EQ(stored_ids(), migrated_ids);
}

TEST_F(older_layout, drops_the_entries_of_a_zone_that_is_gone_sending_the_owed_leave) {
    write_older_layout();
    load_site();
    delete_zone(m_x);
    m_persistence->restore();
    // Objects are migrated in the order Redis lists its set.
    ASSERT_EQ(m_sender.m_events.size(), 2u);
    const std::set<std::string> leaves(m_sender.m_events.begin(), m_sender.m_events.end());
    EXPECT_EQ(leaves, (std::set<std::string>{"leave " + m_a + " " + m_x + " with object",
                                             "leave " + m_odd + " " + m_x + " with object"}));
    EXPECT_EQ(stored_ids(), std::set<std::string>{id(m_a, m_ignored)});
}

}  // namespace
