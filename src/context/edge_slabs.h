#pragma once

#include "context/point.h"

#include <cstdint>
#include <vector>

namespace kel::context {

// The edges of a polygon filed by horizontal slabs of its vertex box, so
// that a winding number visits only the edges that may cross a point's
// line instead of all of them. Edge i runs from the vertex before i (the
// last one for i = 0) to vertex i. Holds edge indices, not the vertices:
// it answers for the vertices it was built from, and a polygon's owner
// rebuilds it with them.
class edge_slabs {
public:
    // No edges: answers nothing for any line.
    edge_slabs() = default;
    explicit edge_slabs(const std::vector<point>& vertices);

    struct edges {
        const std::uint32_t* first;
        const std::uint32_t* last;
        const std::uint32_t* begin() const { return first; }
        const std::uint32_t* end() const { return last; }
    };
    // Every edge whose ends lie on either side of the line at `y`, one
    // strictly below it and the other on or above it, in some order, and
    // possibly others; none for a line outside the vertex box.
    edges near(std::int64_t y) const;

private:
    std::int64_t m_min_y = 0;
    std::int64_t m_max_y = -1;
    // Slab s spans the lines m_min_y + (s << m_shift) up to the next.
    int m_shift = 0;
    // The edges of slab s are m_edges[m_starts[s]] up to m_starts[s + 1].
    std::vector<std::uint32_t> m_starts;
    std::vector<std::uint32_t> m_edges;
};

}  // namespace kel::context
