#pragma once

#include "context/writable_context.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace kel::bench {

// The shape of a large site, built deterministically from a seed:
// trackable objects spread over four sublocations, polygon zones of 10 to 40
// vertices, carriers with two concentric circles each, and keep-in zones
// that report only a few listed objects.
struct site_shape {
    int objects = 10000;
    int polygons = 2000;
    int carriers = 500;
    int keep_in_zones = 50;
    int sublocations = 4;
    int extent = 200000;  // each sublocation spans [0, extent) in x and y
    std::uint32_t seed = 42;
};

struct synthetic_site {
    std::vector<std::string> ordinary;  // uids of objects that carry nothing
    std::vector<std::string> carriers;
};

// A uid text of 22 base64 characters that decodes to 16 distinct bytes.
std::string make_uid(char kind, int n);

// Fills `context` through its repositories, so that observers subscribed
// before the call see every object being created.
synthetic_site build_site(context::writable_context& context, const site_shape& shape);

}  // namespace kel::bench
