// The server's answers for zones and trackable objects. The input is the one
// body the HTTP server gives for every list (its "zones", "trackableObjects",
// "sublocations" and "nodes" members), read by the initial load of the real
// context updater through the initializer and the parsers' views into the
// service's handlers, then shown to the events generator as at start. The
// same body is then listed through the asynchronous requests of the
// re-synchronization and every field of its object views is read.
#include "support/engine_harness.h"

#include <context_utils/context_synchronizer.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

namespace {

using namespace kel::libs::context_utils;

// What the re-synchronization reads of a listed zone.
void read_zone(const objects::zone& z) {
    z.get_updated_at();
    z.get_uid();
    z.get_sublocation_uid();
    z.get_trackable_object_uid();
    if (const auto geometry = z.get_zone_geometry()) {
        geometry->get_radius();
        geometry->for_each_point([](const objects::zone::point& p) {
            p.get_x();
            p.get_y();
            return true;
        });
    }
    z.get_project_uid();
    z.get_active();
    z.get_shape();
    z.get_zone_type_name();
    z.get_default_allowed();
    z.get_zone_exceptions();
    z.get_zone_exceptions_groups();
    z.for_each_trackable_in_zone([](const objects::zone::trackable_in_zone& t) {
        t.get_uid();
        return true;
    });
}

// What the re-synchronization reads of a listed trackable object.
void read_trackable_object(const objects::trackable_object& t) {
    t.get_updated_at();
    t.get_uid();
    if (const auto position = t.get_position()) {
        position->get_x();
        position->get_y();
        position->get_z();
        position->get_sl_id();
    }
    t.get_groups();
    if (const auto node = t.get_node())
        node->get_responsive();
    t.get_project_uid();
}

// Each object on its own, as the service applies them: a malformed one is
// logged there and the next one taken.
template <typename Range, typename Read>
void read_each(const Range& range, Read read) {
    if (!range)
        return;
    for (const auto& object : *range) {
        try {
            read(object);
        } catch (const std::exception&) {
        }
    }
}

void list_asynchronously(kel::fuzz::engine_harness& harness) {
    auto& loop = kel::fuzz::engine_harness::loop();
    const auto synchronizer = context_synchronizer::create(harness.http_client(), loop,
                                                           kel::fuzz::engine_harness::logger());
    bool zones_done = false;
    bool objects_done = false;
    const auto zones = synchronizer->get_zones_async();
    zones->set_callback([&](context_synchronizer::zones_result r) {
        read_each(r, read_zone);
        zones_done = true;
    });
    const auto objects = synchronizer->get_trackable_objects_async();
    objects->set_callback([&](context_synchronizer::trackable_objects_result r) {
        read_each(r, read_trackable_object);
        objects_done = true;
    });
    auto& io = loop.get_io_context();
    // A few turns are enough: each answer is posted once, then handed over.
    for (int turn = 0; turn < 8 && !(zones_done && objects_done); ++turn) {
        io.restart();
        try {
            io.poll();
        } catch (const std::exception&) {
            // A body that is not JSON throws from the answer's handler, as
            // it would out of the service's loop.
        }
    }
    io.restart();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kel::fuzz::engine_harness harness(std::string(reinterpret_cast<const char*>(data), size));
    try {
        harness.load();
    } catch (const std::exception&) {
        // A malformed answer stops the start, as it stops the service's.
        return 0;
    }
    harness.check_invariants();
    list_asynchronously(harness);
    return 0;
}
