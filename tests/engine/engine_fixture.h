#pragma once

#include "context/writable_context.h"
#include "events_generator.h"
#include "zones_index.h"

#include "support/recording_save_restore.h"
#include "support/recording_sender.h"

#include "core/logger.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace kel::test {

struct zone_options {
    std::string sublocation = "sl01";
    std::string project = "prj1";
    std::string type = "room";
    bool default_allowed = false;
    std::set<std::string> exceptions;
    std::set<std::string> groups;
    bool active = true;
};

// A zone of `type` on `sublocation`, the other options as by default.
inline zone_options of_type(std::string type, std::string sublocation = "sl01") {
    zone_options options;
    options.type = std::move(type);
    options.sublocation = std::move(sublocation);
    return options;
}

// "t007" for ('t', 7): distinct uids that decode to distinct keys.
inline std::string numbered(char kind, int i) {
    char uid[16];
    std::snprintf(uid, sizeof(uid), "%c%03d", kind, i);
    return uid;
}

// A site built through the repositories of a context, as the service's
// updater fills them. Uids are four base64 characters so that they decode
// to distinct keys; every change takes the next millisecond.
class context_site {
public:
    void rectangle(const std::string& uid, int x0, int y0, int x1, int y1, zone_options options = {});
    void polygon(const std::string& uid, std::vector<context::point> points, zone_options options = {});
    // A circle carried by `carrier`, filed in the carrier's multi-tiered zone.
    void circle(const std::string& uid, const std::string& carrier, int radius, zone_options options = {});
    void object(const std::string& uid, std::string sublocation = "sl01", std::string project = "prj1",
                std::set<std::string> groups = {});
    // Changes made through a handle, as the updater makes them; none when
    // the uid is unknown.
    template <typename F>
    void change_zone(const std::string& uid, F f) {
        if (auto handle = m_context.take_zones().try_get(uid, now()))
            f(*handle);
    }
    template <typename F>
    void change_object(const std::string& uid, F f) {
        if (auto handle = m_context.take_trackable_objects().try_get(uid, now()))
            f(*handle);
    }
    void move(const std::string& uid, int x, int y) {
        change_object(uid, [&](context::trackable_object& o) { o.set_position(context::point(x, y, 0)); });
    }
    void set_sublocation(const std::string& uid, boost::optional<std::string> sl) {
        change_object(uid, [&](context::trackable_object& o) { o.set_sublocation_uid(std::move(sl)); });
    }
    void delete_zone(const std::string& uid) { m_context.take_zones().remove(uid, now()); }
    void delete_object(const std::string& uid) { m_context.take_trackable_objects().remove(uid, now()); }
    bool has_record(const std::string& object, const std::string& zone) const;
    libs::core::timestamp now() { return libs::core::timestamp(std::chrono::milliseconds(++m_clock)); }

    context::writable_context m_context;
    std::int64_t m_clock = 1700000000000;
};

// The events engine as the service wires it, driven through the
// repositories, with a recording sender and persistence.
class engine_fixture : public context_site {
public:
    explicit engine_fixture(std::set<std::string> ignored_types = {});

    // The events decided since the last call.
    std::vector<std::string> events() { return m_sender.take(); }
    // Stored flags of a record, "" when it is not stored.
    std::string stored(const std::string& object, const std::string& zone) const {
        return m_save_restore.stored(object, zone);
    }

    libs::core::logger m_logger{"quorvane", "test"};
    recording_sender m_sender;
    recording_save_restore m_save_restore;
    zones_index m_index;
    std::unique_ptr<events_generator> m_generator;
};

}  // namespace kel::test
