#pragma once

#include "context/interned_text.h"
#include "globals.h"

#include <core/only_movable.h>

#include <cstdint>
#include <iosfwd>
#include <string>

namespace kel::context {

class trackable_object;
class zone;

// The membership record of one trackable object in one zone, with its enter
// and leave state. A plain value owned by the context's map of trackable
// objects in zones; moved in, never copied. The key and the texts given at
// creation never change; only the four flags do. The texts are interned:
// the many records of one zone or one object share them.
class trackable_object_in_zone : public libs::core::only_movable {
public:
    // All four flags start false.
    trackable_object_in_zone(trackable_object_in_zone_uid uid,
                             boost::string_view trackable_object_uid,
                             boost::string_view zone_uid,
                             boost::string_view project_uid,
                             boost::string_view sublocation_uid,
                             boost::string_view zone_type_name);
    // The same from texts already shared, as the zone and the object hold
    // theirs: copying them skips the pool's lookup.
    trackable_object_in_zone(trackable_object_in_zone_uid uid, interned_text trackable_object_uid,
                             interned_text zone_uid, interned_text project_uid, interned_text sublocation_uid,
                             interned_text zone_type_name);

    // The object's uid bytes followed by parse_uid of the zone's uid.
    static trackable_object_in_zone_uid make_uid(const trackable_object& object, const zone& zone);
    static trackable_object_in_zone_uid make_uid(kel::uid object_uid, const std::string& zone_uid);

    const trackable_object_in_zone_uid& get_uid() const { return m_uid; }
    const std::string& get_trackable_object_uid() const { return m_trackable_object_uid.get(); }
    // The same text, shared: a copy costs no allocation.
    const interned_text& get_trackable_object_uid_text() const { return m_trackable_object_uid; }
    const std::string& get_zone_uid() const { return m_zone_uid.get(); }
    const std::string& get_project_uid() const { return m_project_uid.get(); }
    const std::string& get_sublocation_uid() const { return m_sublocation_uid.get(); }
    const std::string& get_zone_type_name() const { return m_zone_type_name.get(); }
    // The object is inside the zone as last decided.
    bool is_in_zone() const { return m_in_zone; }
    // An enter event was generated for the current stay.
    bool is_event_generated() const { return m_event_is_generated; }
    // A leave event was generated (keep-in zones).
    bool is_leave_generated() const { return m_leave_is_generated; }
    // The membership waits in the debouncing band after its last change.
    bool is_in_debouncing_state() const { return m_in_debouncing_state; }

    void set_in_zone(bool value) { m_in_zone = value; }
    void set_event_generated(bool value) { m_event_is_generated = value; }
    void set_leave_generated(bool value) { m_leave_is_generated = value; }
    void set_in_debouncing_state(bool value) { m_in_debouncing_state = value; }
    // Resets the four flags and nothing else.
    void clear();

    // Bookkeeping of the persistence, not part of the record's value: the
    // flags as of the last save that reached the store and every listener of
    // the save signal. A save of the record as it is now would then change
    // nothing anywhere. A new or restored record counts as never saved.
    bool is_saved_as_is() const { return m_saved_flags == flags(); }
    void mark_saved() const { m_saved_flags = flags(); }
    void forget_saved() const { m_saved_flags = never_saved; }

private:
    static constexpr std::uint8_t never_saved = 0x80;
    std::uint8_t flags() const {
        return static_cast<std::uint8_t>(m_in_zone | m_event_is_generated << 1 | m_leave_is_generated << 2 |
                                         m_in_debouncing_state << 3);
    }

    trackable_object_in_zone_uid m_uid;
    interned_text m_trackable_object_uid;
    interned_text m_zone_uid;
    interned_text m_project_uid;
    interned_text m_sublocation_uid;
    interned_text m_zone_type_name;
    bool m_in_zone = false;
    bool m_event_is_generated = false;
    bool m_leave_is_generated = false;
    bool m_in_debouncing_state = false;
    mutable std::uint8_t m_saved_flags = never_saved;
};

// Log form: "trackable_object_in_zone{ tr: <object uid>, zone: <zone uid>}".
std::ostream& operator<<(std::ostream& os, const trackable_object_in_zone& record);

}  // namespace kel::context
