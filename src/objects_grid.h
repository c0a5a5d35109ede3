#pragma once

#include "context/trackable_object.h"
#include "object_blocks.h"
#include "zone_geometry.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace kel {

// Trackable objects filed by the square cell their current position lies
// in, so that the objects inside a box can be found without visiting the
// whole site. Objects without a current position are not filed. Holds
// pointers into the trackable objects repository: remove() an object before
// the repository destroys it. Where an object is filed is kept in its block.
class objects_grid {
public:
    // Files the object under its current position, or takes it out when it
    // has none.
    void update(const context::trackable_object& object, object_block& block);
    void remove(const context::trackable_object& object, object_block& block);

    // Appends every filed object whose position lies in `box` (edges
    // included). Returns false, appending nothing, when the box spans too
    // many cells to be worth it; the caller then visits every object.
    bool append_objects_in(const index_box& box, std::vector<const context::trackable_object*>& out) const;

private:
    using cell = std::uint64_t;
    static cell cell_of(std::int64_t cx, std::int64_t cy);
    static std::int64_t column(int coordinate);
    void unfile(const context::trackable_object& object, cell c);

    std::unordered_map<cell, std::vector<const context::trackable_object*>> m_cells;
};

}  // namespace kel
