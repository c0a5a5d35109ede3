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

// Site units per cell side, and the most cells a zone is listed in: the
// benchmark site's rooms and carried circles span a handful of cells, and
// a cell lists a few zones.
constexpr std::int64_t cell_size = 8192;
constexpr std::int64_t max_cells = 64;

}  // namespace

std::int64_t zone_trees::column(int coordinate) {
    return grid_column(coordinate, cell_size);
}

boost::optional<zone_trees::cell_span> zone_trees::cells_of(const index_box& box) {
    const cell_span span{column(box.min_corner().get<0>()), column(box.min_corner().get<1>()),
                         column(box.max_corner().get<0>()), column(box.max_corner().get<1>())};
    if ((span.x1 - span.x0 + 1) * (span.y1 - span.y0 + 1) > max_cells)
        return boost::none;
    return span;
}

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
    const entry e{filed.filed, &zone, moving ? &filed.box : nullptr};
    ++m_keys[key];
    const auto span = cells_of(filed.filed);
    filed.in_cells = span.has_value();
    if (!span) {
        m_trees[key].insert(e);
        return;
    }
    for (auto cx = span->x0; cx <= span->x1; ++cx) {
        for (auto cy = span->y0; cy <= span->y1; ++cy)
            m_cells[grid_cell_at(key, cx, cy)].push_back(e);
    }
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
    const auto key = m_keys.find(filed.key);
    if (--key->second == 0)
        m_keys.erase(key);
    if (!filed.in_cells) {
        const auto tree = m_trees.find(filed.key);
        tree->second.remove(entry{filed.filed, &zone, nullptr});
        if (tree->second.empty())
            m_trees.erase(tree);
        return;
    }
    const auto span = *cells_of(filed.filed);
    for (auto cx = span.x0; cx <= span.x1; ++cx) {
        for (auto cy = span.y0; cy <= span.y1; ++cy) {
            const auto cell = m_cells.find(grid_cell_at(filed.key, cx, cy));
            auto& entries = cell->second;
            const auto found = std::find_if(entries.begin(), entries.end(),
                                            [&](const entry& e) { return e.zone == &zone; });
            *found = entries.back();
            entries.pop_back();
            if (entries.empty())
                m_cells.erase(cell);
        }
    }
}

}  // namespace kel
