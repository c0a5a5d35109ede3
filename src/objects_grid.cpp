#include "objects_grid.h"

#include <algorithm>

namespace kel {

namespace {

// Site units per cell side: a carried circle's box covers a few cells, and
// a cell holds a handful of objects on a dense site.
constexpr std::int64_t cell_size = 4096;
// A box spanning more cells than this is cheaper to answer by visiting every
// object.
constexpr std::int64_t max_cells = 1024;

bool contains(const index_box& box, const context::point& p) {
    return box.min_corner().get<0>() <= p.get_x() && p.get_x() <= box.max_corner().get<0>() &&
           box.min_corner().get<1>() <= p.get_y() && p.get_y() <= box.max_corner().get<1>();
}

}  // namespace

std::int64_t objects_grid::column(int coordinate) {
    return grid_column(coordinate, cell_size);
}

void objects_grid::update(const context::trackable_object& object, object_block& block, std::uint64_t group) {
    const auto& position = object.get_position();
    if (!position) {
        remove(object, block);
        return;
    }
    const auto key = grid_cell_at(group, column(position->get_x()), column(position->get_y()));
    if (block.filed) {
        if (block.cell == key.cell && block.group == key.group)
            return;
        unfile(object, grid_cell_key{block.group, block.cell});
    }
    block.filed = true;
    block.group = key.group;
    block.cell = key.cell;
    auto& objects = m_cells[key];
    if (objects.empty() && objects.capacity() != 0)
        --m_empty_cells;
    objects.push_back(&object);
}

void objects_grid::remove(const context::trackable_object& object, object_block& block) {
    if (!block.filed)
        return;
    unfile(object, grid_cell_key{block.group, block.cell});
    block.filed = false;
}

void objects_grid::unfile(const context::trackable_object& object, const grid_cell_key& key) {
    auto& objects = m_cells[key];
    const auto found = std::find(objects.begin(), objects.end(), &object);
    if (found != objects.end()) {
        *found = objects.back();
        objects.pop_back();
    }
    if (!objects.empty())
        return;
    // A cell a tag just left is soon entered again: an emptied list keeps
    // its capacity, so that walking tags cost no allocation, until empty
    // lists outnumber the others (and a few thousand), when they all go.
    if (++m_empty_cells <= std::max<std::size_t>(4096, m_cells.size() / 2))
        return;
    for (auto cell = m_cells.begin(); cell != m_cells.end();)
        cell = cell->second.empty() ? m_cells.erase(cell) : std::next(cell);
    m_empty_cells = 0;
}

bool objects_grid::append_objects_in(const index_box& box, std::uint64_t group,
                                     std::vector<const context::trackable_object*>& out) const {
    const auto x0 = column(box.min_corner().get<0>()), x1 = column(box.max_corner().get<0>());
    const auto y0 = column(box.min_corner().get<1>()), y1 = column(box.max_corner().get<1>());
    if ((x1 - x0 + 1) * (y1 - y0 + 1) > max_cells)
        return false;
    for (auto cx = x0; cx <= x1; ++cx) {
        for (auto cy = y0; cy <= y1; ++cy) {
            const auto found = m_cells.find(grid_cell_at(group, cx, cy));
            if (found == m_cells.end())
                continue;
            for (const auto* object : found->second) {
                if (contains(box, *object->get_position()))
                    out.push_back(object);
            }
        }
    }
    return true;
}

}  // namespace kel
