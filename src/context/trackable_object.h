#pragma once

#include "context/interned_text.h"
#include "context/point.h"
#include "context/remembered_lookup.h"
#include "globals.h"

#include <core/only_movable.h>

#include <boost/optional.hpp>

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <set>
#include <string>
#include <utility>

namespace kel::context {

class multi_tiered_zone;

// A tagged person or thing whose positions are tested against the zones.
// A plain value owned by the trackable objects repository; moved in, never
// copied. The uid and its 16-byte form never change.
class trackable_object : public libs::core::only_movable {
public:
    // `uid_bytes` is expected to be parse_uid(uid); it is taken as given.
    trackable_object(std::string uid,
                     kel::uid uid_bytes,
                     std::string project_uid,
                     bool responsive,
                     bool associated,
                     boost::optional<point> position,
                     boost::optional<std::string> sublocation_uid,
                     std::set<std::string> groups);

    const std::string& get_uid() const { return m_uid; }
    const kel::uid& get_uid_bytes() const { return m_uid_bytes; }
    // The uid's shared text: a record made with it needs no pool lookup.
    const interned_text& get_uid_text() const { return m_pinned_uid; }
    const std::string& get_project_uid() const { return m_project_uid; }
    bool get_responsive() const { return m_responsive; }
    // Whether a tag is currently associated with the object.
    bool get_associated() const { return m_associated; }
    // The latest known position; none until one is known.
    const boost::optional<point>& get_position() const { return m_position; }
    // The position before the last update by a trackable-object change;
    // none until first set.
    const boost::optional<point>& get_last_position() const { return m_last_position; }
    boost::optional<const std::string&> get_sublocation_uid() const;
    // std::hash of the sublocation uid, kept with it (0 without one): the
    // position path files zones by it.
    std::size_t get_sublocation_hash() const { return m_sublocation_hash; }
    const std::set<std::string>& get_groups() const { return m_groups; }
    // The groups, to be changed in place: counts as a change of them.
    std::set<std::string>& get_groups() {
        touch();
        return m_groups;
    }

    void set_project_uid(std::string project_uid) {
        m_project_uid = std::move(project_uid);
        touch();
    }
    void set_responsive(bool responsive) {
        m_responsive = responsive;
        touch();
    }
    void set_associated(bool associated) {
        m_associated = associated;
        touch();
    }
    // An empty value forgets the position.
    void set_position(boost::optional<point> position) { m_position = position; }
    void set_last_position(point position) { m_last_position = position; }
    void set_sublocation_uid(boost::optional<std::string> uid);
    void set_groups(std::set<std::string> groups) {
        m_groups = std::move(groups);
        touch();
    }

    // Moves at every change of what the object is other than its positions
    // (project, flags, sublocation, groups), and is never shared by two
    // objects of the process, so that equal versions tell equal inputs
    // without comparing them.
    std::uint64_t get_inputs_version() const { return m_inputs_version; }

    // Where the engine keeps its own state of the object: a hint that the
    // engine checks before it trusts it, not part of the object's value.
    static constexpr std::uint32_t no_block_hint = 0xffffffff;
    std::uint32_t get_block_hint() const { return m_block_hint; }
    void set_block_hint(std::uint32_t hint) const { m_block_hint = hint; }

    // What the debug mirror found when it last compared the object with
    // what it mirrored: a hint that the mirror checks before it trusts it,
    // not part of the object's value.
    struct mirror_hint {
        std::uint64_t inputs_version = 0;
        std::uint32_t epoch = 0;

        bool operator==(const mirror_hint& other) const {
            return inputs_version == other.inputs_version && epoch == other.epoch;
        }
    };
    const mirror_hint& get_mirror_hint() const { return m_mirror_hint; }
    void set_mirror_hint(const mirror_hint& hint) const { m_mirror_hint = hint; }

    // The multi-tiered zone filed under the object's uid (the zones it
    // carries) as `groups` holds it now, if any. Every position of the
    // object asks, and nearly every object carries nothing.
    boost::optional<const multi_tiered_zone&> find_carried_zones(
        const remembered_lookup<multi_tiered_zone>::repository& groups) const;

private:
    std::string m_uid;
    kel::uid m_uid_bytes;
    // The uid's shared text, held while the object is: the records of the
    // object come and go, and would otherwise make and drop it each time.
    interned_text m_pinned_uid;
    std::string m_project_uid;
    bool m_responsive;
    bool m_associated;
    // Beside the position: a carrier's move reads both of each tag nearby.
    mutable std::uint32_t m_block_hint = no_block_hint;
    std::size_t m_sublocation_hash = 0;
    boost::optional<point> m_position;
    boost::optional<point> m_last_position;
    boost::optional<std::string> m_sublocation_uid;
    std::set<std::string> m_groups;
    std::uint64_t m_inputs_version;
    mutable mirror_hint m_mirror_hint;
    remembered_lookup<multi_tiered_zone> m_carried_zones;

    void touch();
};

// Log form: "trackable_object{ <uid>}".
std::ostream& operator<<(std::ostream& os, const trackable_object& object);

}  // namespace kel::context
