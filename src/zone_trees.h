#pragma once

#include "grid_cell.h"
#include "zone_geometry.h"

// The R-tree dispatches to these algorithms for its box values.
#include <boost/geometry/algorithms/covered_by.hpp>
#include <boost/geometry/algorithms/equals.hpp>
#include <boost/geometry/algorithms/intersects.hpp>
#include <boost/geometry/index/predicates.hpp>
#include <boost/geometry/index/rtree.hpp>
#include <boost/iterator/function_output_iterator.hpp>

#include <boost/optional.hpp>

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace kel {

namespace context {
class zone;
}

// Zones filed under their box (envelope), apart for each key, so that the
// zones whose box strictly contains a point are found without visiting the
// others. The key is the caller's (a key of the zone's sublocation). A box
// that spans a few cells of a square grid is listed in each of them, and a
// point's query reads the list of its own cell; a larger box goes to the
// key's R-tree, which every query also asks.
//
// A moving zone (one carried by an object) is filed under its box grown by
// a margin, and left where it is filed while its box stays inside the
// grown one: a carrier's move then costs a comparison instead of a removal
// and an insertion in the tree. Queries test each zone's current box, so
// what they find does not depend on where a zone happens to be filed.
//
// Holds zone pointers only: remove() a zone before it is destroyed.
class zone_trees {
public:
    struct filing {
        index_box box;  // the zone's current box
        std::uint64_t key;
    };

    // Files the zone under `box` and `key`, or updates its filing.
    void file(const context::zone& zone, const index_box& box, std::uint64_t key, bool moving);
    void remove(const context::zone& zone);
    // Null when the zone is not filed.
    const filing* find(const context::zone& zone) const;

    // Edges excluded.
    static bool strictly_contains(const index_box& box, int x, int y) {
        return box.min_corner().get<0>() < x && x < box.max_corner().get<0>() && box.min_corner().get<1>() < y &&
               y < box.max_corner().get<1>();
    }

    // Calls `f` with every zone filed under `key` whose box strictly
    // contains (x, y).
    template <typename F>
    void query(std::uint64_t key, int x, int y, F f) const;
    // The same over every key.
    template <typename F>
    void query_all(int x, int y, F f) const;

private:
    struct entry {
        index_box filed;
        const context::zone* zone;
        // The current box of a moving zone (in its filing); null when the
        // filed box is the current one, so that a query reads no further
        // for a zone that does not move.
        const index_box* current;
    };
    struct filed_box {
        using result_type = const index_box&;
        result_type operator()(const entry& e) const { return e.filed; }
    };
    struct same_entry {
        bool operator()(const entry& a, const entry& b) const;
    };
    using rtree = boost::geometry::index::rtree<entry, boost::geometry::index::quadratic<16, 4>, filed_box, same_entry>;
    struct filed_zone : filing {
        index_box filed;
        bool moving;
        bool in_cells;
    };

    // The cells of a box, when they are few enough to list the zone in.
    struct cell_span {
        std::int64_t x0, y0, x1, y1;
    };
    static boost::optional<cell_span> cells_of(const index_box& box);
    static std::int64_t column(int coordinate);

    void unfile(const context::zone& zone, const filed_zone& filed);
    template <typename F>
    static void query(const rtree& tree, int x, int y, F& f);
    template <typename F>
    void query_cell(std::uint64_t key, int x, int y, F& f) const;

    std::unordered_map<grid_cell_key, std::vector<entry>, grid_cell_hash> m_cells;
    std::unordered_map<std::uint64_t, rtree> m_trees;
    // How many zones are filed under each key, wherever.
    std::unordered_map<std::uint64_t, std::size_t> m_keys;
    // Nodes keep their address: entries of moving zones point into them.
    std::unordered_map<const context::zone*, filed_zone> m_filed;
};

template <typename F>
void zone_trees::query(const rtree& tree, int x, int y, F& f) {
    // The callback form of the query walks the tree without the iterator
    // form's heap-allocated stack: this runs for every position.
    tree.query(boost::geometry::index::intersects(index_point(x, y)),
               boost::make_function_output_iterator([&](const entry& e) {
                   if (strictly_contains(e.current ? *e.current : e.filed, x, y))
                       f(e.zone);
               }));
}

template <typename F>
void zone_trees::query_cell(std::uint64_t key, int x, int y, F& f) const {
    // A point strictly inside a box lies in one of the cells the box spans.
    const auto found = m_cells.find(grid_cell_at(key, column(x), column(y)));
    if (found == m_cells.end())
        return;
    for (const entry& e : found->second) {
        if (strictly_contains(e.current ? *e.current : e.filed, x, y))
            f(e.zone);
    }
}

template <typename F>
void zone_trees::query(std::uint64_t key, int x, int y, F f) const {
    query_cell(key, x, y, f);
    const auto found = m_trees.find(key);
    if (found != m_trees.end())
        query(found->second, x, y, f);
}

template <typename F>
void zone_trees::query_all(int x, int y, F f) const {
    for (const auto& key : m_keys)
        query_cell(key.first, x, y, f);
    for (const auto& tree : m_trees)
        query(tree.second, x, y, f);
}

}  // namespace kel
