#include "synthetic_site.h"

#include "globals.h"

#include <cmath>
#include <cstdio>

namespace kel::bench {

namespace {

const char* const project = "AAAAAAAAAAAAAAAAAAAAAA";

std::string sublocation(int n) {
    return make_uid('S', n);
}

libs::core::timestamp at(std::int64_t ms) {
    return libs::core::timestamp(std::chrono::milliseconds(ms));
}

std::vector<context::point> star_polygon(std::mt19937& random, int cx, int cy, int radius) {
    std::uniform_int_distribution<int> count(10, 40);
    std::uniform_real_distribution<double> scale(0.5, 1.0);
    const int n = count(random);
    std::vector<context::point> points;
    for (int i = 0; i < n; ++i) {
        const double angle = 2 * M_PI * i / n;
        const double r = radius * scale(random);
        points.emplace_back(cx + static_cast<int>(r * std::cos(angle)), cy + static_cast<int>(r * std::sin(angle)),
                            0);
    }
    return points;
}

context::zone polygon_zone(std::string uid, int sl, std::vector<context::point> points, std::string type,
                           bool default_allowed, std::set<std::string> exceptions) {
    return context::zone(std::move(uid), boost::none, project, sublocation(sl), boost::none, std::move(points), true,
                         context::shape::POLYGON, std::move(type), default_allowed, std::move(exceptions), {});
}

context::trackable_object make_object(const std::string& uid, int sl, context::point position) {
    return context::trackable_object(uid, parse_uid(uid), project, true, true, position, sublocation(sl), {});
}

}  // namespace

std::string make_uid(char kind, int n) {
    // Real uids are random base64 texts, which differ from their first
    // characters on; so are these (a splitmix64 stream seeded by kind and
    // number), so that string comparisons cost what they cost on a site.
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::uint64_t state = (static_cast<std::uint64_t>(static_cast<unsigned char>(kind)) << 32) ^
                          static_cast<std::uint32_t>(n);
    std::string text;
    while (text.size() < 21) {
        state += 0x9e3779b97f4a7c15ULL;
        std::uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        z ^= z >> 31;
        for (int i = 0; i < 10 && text.size() < 21; ++i, z >>= 6)
            text += alphabet[z & 63];
    }
    // The last character only half counts (22 characters carry 132 bits for
    // 128); keeping it fixed leaves the decoded bytes as distinct as the texts.
    return text + "A";
}

synthetic_site build_site(context::writable_context& context, const site_shape& shape) {
    std::mt19937 random(shape.seed);
    std::uniform_int_distribution<int> coordinate(0, shape.extent - 1);
    std::uniform_int_distribution<int> zone_radius(1000, 6000);
    std::uniform_int_distribution<int> pick_sl(0, shape.sublocations - 1);
    std::int64_t clock = 1700000000000;
    synthetic_site site;

    for (int i = 0; i < shape.polygons; ++i)
        context.take_zones().add(polygon_zone(make_uid('Z', i), i % shape.sublocations,
                                              star_polygon(random, coordinate(random), coordinate(random),
                                                           zone_radius(random)),
                                              "room", false, {}),
                                 at(++clock));

    for (int i = 0; i < shape.objects; ++i) {
        const auto uid = make_uid('T', i);
        context.take_trackable_objects().add(
            make_object(uid, pick_sl(random), context::point(coordinate(random), coordinate(random), 0)),
            at(++clock));
        (i < shape.carriers ? site.carriers : site.ordinary).push_back(uid);
    }

    std::uniform_int_distribution<int> pick_object(0, shape.objects - 1);
    for (int i = 0; i < shape.keep_in_zones; ++i) {
        std::set<std::string> listed;
        for (int k = 0; k < 3; ++k)
            listed.insert(make_uid('T', pick_object(random)));
        const int cx = coordinate(random), cy = coordinate(random);
        context.take_zones().add(
            polygon_zone(make_uid('K', i), i % shape.sublocations, star_polygon(random, cx, cy, 20000), "keep_in",
                         true, std::move(listed)),
            at(++clock));
    }

    for (int i = 0; i < shape.carriers; ++i) {
        const auto& carrier = site.carriers[static_cast<std::size_t>(i)];
        const auto& owner = context.get_trackable_objects().get(carrier);
        const auto sl = *owner.get_sublocation_uid();
        const auto inner = make_uid('C', 2 * i);
        const auto outer = make_uid('C', 2 * i + 1);
        context.take_multi_tiered_zones().add(context::multi_tiered_zone(carrier, inner), at(++clock));
        if (auto group = context.take_multi_tiered_zones().try_get(carrier, at(++clock)))
            group->add_zone(outer);
        for (const auto& [uid, radius] : {std::make_pair(inner, 1000), std::make_pair(outer, 2000)})
            context.take_zones().add(context::zone(uid, radius, project, sl, carrier, boost::none, true,
                                                   context::shape::CIRCLE, "vehicle", false, {}, {}),
                                     at(++clock));
    }
    return site;
}

}  // namespace kel::bench
