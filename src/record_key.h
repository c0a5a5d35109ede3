#pragma once

#include <boost/utility/string_view.hpp>

#include <string>

namespace kel {

// The Redis key of a record's hash, "quorvane:trackable_objects_in_zones:"
// then "<object uid>-<zone uid>", and the record's id, the part after the
// prefix, as the set of records lists it. Both live in one buffer that is
// reused from record to record, so that a save allocates nothing once the
// buffer has grown to the longest key.
class record_key {
public:
    static const std::string prefix;

    void set(boost::string_view object_uid, boost::string_view zone_uid);
    void set(boost::string_view id);

    // Views into the buffer, valid until the next set().
    boost::string_view key() const { return m_text; }
    boost::string_view id() const { return boost::string_view(m_text).substr(prefix.size()); }

private:
    std::string m_text = prefix;
};

}  // namespace kel
