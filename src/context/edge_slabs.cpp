#include "context/edge_slabs.h"

#include <algorithm>

namespace kel::context {

namespace {

// About two edges per slab on a polygon whose vertices spread evenly over
// its height, and a bound on the table for huge polygons.
std::int64_t slabs_wanted(std::size_t vertices) {
    return std::clamp<std::int64_t>(static_cast<std::int64_t>(vertices / 2), 1, 256);
}

}  // namespace

edge_slabs::edge_slabs(const std::vector<point>& vertices) {
    const std::size_t n = vertices.size();
    if (n < 3)
        return;
    const auto [lowest, highest] = std::minmax_element(
        vertices.begin(), vertices.end(), [](const point& a, const point& b) { return a.get_y() < b.get_y(); });
    m_min_y = lowest->get_y();
    m_max_y = highest->get_y();
    // An edge can cross the lines strictly above its lower end up to its
    // upper end: it is filed in the slabs of those lines, the first to the
    // last. Horizontal edges cross none.
    const auto for_each_edge = [&](auto f) {
        for (std::size_t i = 0; i < n; ++i) {
            const std::int64_t a = vertices[i == 0 ? n - 1 : i - 1].get_y(), b = vertices[i].get_y();
            if (a != b)
                f(static_cast<std::uint32_t>(i), ((std::min(a, b) + 1 - m_min_y) >> m_shift),
                  ((std::max(a, b) - m_min_y) >> m_shift));
        }
    };
    // A power of two per slab turns a line into its slab with a shift.
    const auto span = m_max_y - m_min_y;
    while ((span >> m_shift) + 1 > slabs_wanted(n))
        ++m_shift;
    // Edges that each span most of the height (a zigzag) would be filed in
    // most slabs: fewer, taller slabs keep the table within a few entries
    // per edge.
    for (;;) {
        std::int64_t filings = 0;
        for_each_edge([&](std::uint32_t, std::int64_t first, std::int64_t last) { filings += last - first + 1; });
        if ((span >> m_shift) == 0 || filings <= 4 * static_cast<std::int64_t>(n))
            break;
        ++m_shift;
    }
    const auto slabs = static_cast<std::size_t>((span >> m_shift) + 1);
    m_starts.assign(slabs + 1, 0);
    for_each_edge([&](std::uint32_t, std::int64_t first, std::int64_t last) {
        for (auto s = first; s <= last; ++s)
            ++m_starts[static_cast<std::size_t>(s) + 1];
    });
    for (std::size_t s = 0; s < slabs; ++s)
        m_starts[s + 1] += m_starts[s];
    m_edges.resize(m_starts[slabs]);
    std::vector<std::uint32_t> filled(m_starts.begin(), m_starts.end() - 1);
    for_each_edge([&](std::uint32_t edge, std::int64_t first, std::int64_t last) {
        for (auto s = first; s <= last; ++s)
            m_edges[filled[static_cast<std::size_t>(s)]++] = edge;
    });
}

edge_slabs::edges edge_slabs::near(std::int64_t y) const {
    if (y < m_min_y || y > m_max_y)
        return {nullptr, nullptr};
    const auto s = static_cast<std::size_t>((y - m_min_y) >> m_shift);
    return {m_edges.data() + m_starts[s], m_edges.data() + m_starts[s + 1]};
}

}  // namespace kel::context
