#include "zone_trees.h"

#include <algorithm>
#include <limits>

namespace kel {

namespace {

bool same_box(const index_box& a, const index_box& b) {
    return a.min_corner().get<0>() == b.min_corner().get<0>() && a.min_corner().get<1>() == b.min_corner().get<1>() &&
           a.max_corner().get<0>() == b.max_corner().get<0>() && a.max_corner().get<1>() == b.max_corner().get<1>();
}

bool covers(const index_box& outer, const index_box& inner) {
    return outer.min_corner().get<0>() <= inner.min_corner().get<0>() &&
           outer.min_corner().get<1>() <= inner.min_corner().get<1>() &&
           inner.max_corner().get<0>() <= outer.max_corner().get<0>() &&
           inner.max_corner().get<1>() <= outer.max_corner().get<1>();
}

int clamped(std::int64_t v) {
    return static_cast<int>(std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// A quarter of the box's longer side on every side: a carrier that walks
// about its zones' radius between refilings keeps the tree's boxes little
// larger than the zones, while a move of a few hundred units, a typical
// step, is almost never a refiling.
index_box grown(const index_box& box) {
    const std::int64_t x0 = box.min_corner().get<0>(), y0 = box.min_corner().get<1>();
    const std::int64_t x1 = box.max_corner().get<0>(), y1 = box.max_corner().get<1>();
    const std::int64_t margin = std::max<std::int64_t>(std::max(x1 - x0, y1 - y0) / 4, 1);
    return index_box(index_point(clamped(x0 - margin), clamped(y0 - margin)),
                     index_point(clamped(x1 + margin), clamped(y1 + margin)));
}

}  // namespace

bool zone_trees::same_entry::operator()(const entry& a, const entry& b) const {
    return a.zone == b.zone && same_box(a.filed, b.filed);
}

void zone_trees::file(const context::zone& zone, const index_box& box, std::uint64_t key, bool moving) {
    auto found = m_filed.find(&zone);
    if (found != m_filed.end()) {
        auto& filed = found->second;
        if (filed.key == key && filed.moving == moving &&
            (same_box(filed.box, box) || (moving && covers(filed.filed, box)))) {
            filed.box = box;
            return;
        }
        unfile(zone, filed);
    } else {
        found = m_filed.emplace(&zone, filed_zone{}).first;
    }
    auto& filed = found->second;
    filed.box = box;
    filed.key = key;
    filed.moving = moving;
    filed.filed = moving ? grown(box) : box;
    m_trees[key].insert(entry{filed.filed, &zone, moving ? &filed.box : nullptr});
}

void zone_trees::remove(const context::zone& zone) {
    const auto found = m_filed.find(&zone);
    if (found == m_filed.end())
        return;
    unfile(zone, found->second);
    m_filed.erase(found);
}

const zone_trees::filing* zone_trees::find(const context::zone& zone) const {
    const auto found = m_filed.find(&zone);
    return found == m_filed.end() ? nullptr : &found->second;
}

void zone_trees::unfile(const context::zone& zone, const filed_zone& filed) {
    const auto tree = m_trees.find(filed.key);
    tree->second.remove(entry{filed.filed, &zone, nullptr});
    if (tree->second.empty())
        m_trees.erase(tree);
}

}  // namespace kel
