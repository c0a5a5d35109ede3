#pragma once

#include "context/trackable_object.h"
#include "context/zone.h"
#include "globals.h"
#include "recent_records.h"

#include <boost/optional.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace kel {

// The zones of one object that the index keeps for the position path.
struct object_zones {
    struct by_identity {
        bool operator()(const context::zone& a, const context::zone& b) const { return &a < &b; }
    };
    using zones = std::set<std::reference_wrapper<const context::zone>, by_identity>;
    // Each zone once, in no useful order (readers sort what they take).
    // An object is in play in a handful of zones at most: a list that
    // keeps its capacity costs no heap node per insertion, as a set does.
    using zone_list = std::vector<const context::zone*>;
    // Zones in which the object's membership is in play.
    zone_list related;
    // Zones that are not keep-in whose last save of the object's record had
    // a flag set.
    zone_list recorded;
};

// What an object's keep-in pairs depend on besides its position, as of its
// last evaluation, and the generator's keep-in epoch then.
struct keep_in_inputs {
    bool valid = false;
    std::uint64_t epoch = 0;
    // The object's inputs version when these were last found its inputs.
    std::uint64_t version = 0;
    std::string project;
    boost::optional<std::string> sublocation;
    std::set<std::string> groups;
    bool responsive = false;
    bool associated = false;
    bool has_position = false;
};

// The zones a carrier's multi-tiered zone lists, looked up once for all its
// moves: valid while neither the zones nor the multi-tiered zones change,
// as of their repositories' generations plus one (0: never looked up).
struct carried_zones {
    // Who they were looked up for: two uid texts may decode to one block.
    const context::trackable_object* object = nullptr;
    std::uint64_t zones_checked = 0;
    std::uint64_t groups_checked = 0;
    // In the group's order; null for a uid that the zones repository lacks.
    std::vector<const context::zone*> tiers;
    // Whether the first tier exists and is carried by this object: its
    // tiers are then this list, with a missing tier standing for the first.
    bool first_is_own = false;
};

// Everything the engine keeps per trackable object, in one place, so that a
// position finds it once instead of in a table per component.
struct object_block {
    kel::uid key{};
    // False once erased, until the place is given to another uid.
    bool used = false;
    object_zones zones;
    keep_in_inputs keep_in;
    // The objects grid's group and cell for the object, when it is filed.
    bool filed = false;
    std::uint64_t group = 0;
    std::uint64_t cell = 0;
    // Whether the object carries zones, as of the multi-tiered zones
    // repository's generation `carrier_checked`, plus one (0: never asked).
    bool carries_zones = false;
    std::uint64_t carrier_checked = 0;
    carried_zones carried;
    recent_records recent;
};

// The blocks of every object uid the engine heard of: objects of the
// repository, and uids that only records name (restored records of objects
// that are gone). A block lives until erase(); references to it stay valid
// until then, whatever else is added.
//
// A trackable object carries a hint of its block's place. Any hint is
// safe: it is checked against the block's uid, and a wrong or missing one
// costs one hash lookup, after which the object carries the right one. A
// replacement of the object (a notification's update) thus finds its block
// again at its first use.
//
// The place last found is remembered too, checked the same way: the saves
// of one position name their object by uid only, and it is mostly the
// object the position moved.
class object_blocks {
public:
    object_blocks() = default;
    object_blocks(const object_blocks&) = delete;
    object_blocks& operator=(const object_blocks&) = delete;

    // The object's block, made empty when it had none. Inline: a position
    // asks it several times, and the hint mostly holds.
    object_block& of(const context::trackable_object& object) {
        if (object_block* block = hinted(object)) {
            m_last = object.get_block_hint();
            return *block;
        }
        return of_unhinted(object);
    }
    // The same by uid, without a hint to use or leave.
    object_block& of(const kel::uid& key);
    // Null when the uid has no block.
    const object_block* find(const context::trackable_object& object) const;
    object_block* find(const kel::uid& key);

    void erase(const kel::uid& key);

    template <typename F>
    void for_each(F f) {
        for (auto& entry : m_by_key)
            f(at(entry.second));
    }

private:
    // The block at `place` when it holds `key`; null for any other place.
    object_block* holding(std::uint32_t place, const kel::uid& key) const {
        if (place >= m_count)
            return nullptr;
        object_block& block = at(place);
        return block.used && uid_equal{}(block.key, key) ? &block : nullptr;
    }
    object_block* hinted(const context::trackable_object& object) const {
        return holding(object.get_block_hint(), object.get_uid_bytes());
    }
    object_block& of_unhinted(const context::trackable_object& object);
    std::uint32_t place_of(const kel::uid& key);
    object_block& at(std::uint32_t place) const { return m_chunks[place / chunk_size][place % chunk_size]; }

    // Chunks keep their blocks where they are as more are added, and a
    // place is found with a shift and a mask, as a hint is checked on
    // every use.
    static constexpr std::uint32_t chunk_size = 64;
    std::vector<std::unique_ptr<object_block[]>> m_chunks;
    std::uint32_t m_count = 0;
    std::uint32_t m_last = 0;
    std::vector<std::uint32_t> m_free;
    std::unordered_map<kel::uid, std::uint32_t, uid_hash, uid_equal> m_by_key;
};

}  // namespace kel
