#pragma once

#include <cstddef>
#include <cstdint>

namespace kel {

// A square cell of a grid over the site, for one group key of the grid's
// user (a key of a sublocation): grids that file things by cell and floor
// find a cell's list with one hash lookup.
struct grid_cell_key {
    std::uint64_t group;
    std::uint64_t cell;
    bool operator==(const grid_cell_key& other) const { return group == other.group && cell == other.cell; }
};

struct grid_cell_hash {
    std::size_t operator()(const grid_cell_key& key) const {
        // Neighbouring cells differ in their low bits: multiply them up
        // before the table's modulo, and fold in the group, itself a hash.
        return static_cast<std::size_t>((key.cell * 0x9E3779B97F4A7C15ull) ^ key.group);
    }
};

// The column (or row) of the cells of side `size` that holds `coordinate`,
// counted down from zero for negative coordinates.
inline std::int64_t grid_column(int coordinate, std::int64_t size) {
    const std::int64_t c = coordinate;
    return c >= 0 ? c / size : -((-c + size - 1) / size);
}

inline grid_cell_key grid_cell_at(std::uint64_t group, std::int64_t cx, std::int64_t cy) {
    return {group, (static_cast<std::uint64_t>(static_cast<std::uint32_t>(cx)) << 32) | static_cast<std::uint32_t>(cy)};
}

}  // namespace kel
