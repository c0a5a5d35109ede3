#pragma once

#include "context/trackable_object.h"
#include "grid_cell.h"
#include "object_blocks.h"
#include "zone_geometry.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace kel {

// Trackable objects filed by the square cell their current position lies
// in, apart for each group key of the caller's (the index files by
// sublocation), so that the objects of a group inside a box can be found
// without visiting the whole site, nor reading the objects of the other
// groups that share the cell. Objects without a current position are not
// filed. Holds
// pointers into the trackable objects repository: remove() an object before
// the repository destroys it. Where an object is filed is kept in its block.
class objects_grid {
public:
    // Files the object under its current position and `group`, or takes it
    // out when it has no position.
    void update(const context::trackable_object& object, object_block& block, std::uint64_t group);
    void remove(const context::trackable_object& object, object_block& block);

    // Appends every filed object of `group` whose position lies in `box`
    // (edges included). Returns false, appending nothing, when the box spans
    // too many cells to be worth it; the caller then visits every object.
    bool append_objects_in(const index_box& box, std::uint64_t group,
                           std::vector<const context::trackable_object*>& out) const;

private:
    static std::int64_t column(int coordinate);
    void unfile(const context::trackable_object& object, const grid_cell_key& key);

    std::unordered_map<grid_cell_key, std::vector<const context::trackable_object*>, grid_cell_hash> m_cells;
    // Lists in m_cells left empty by unfile().
    std::size_t m_empty_cells = 0;
};

}  // namespace kel
