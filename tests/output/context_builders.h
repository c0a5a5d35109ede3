#pragma once

#include "context/trackable_object.h"
#include "context/trackable_object_in_zone.h"
#include "context/zone.h"
#include "globals.h"

#include <boost/optional.hpp>

#include <string>

namespace kel::test {

// A 22-character uid text starting with `name`: every byte of the decoded
// uid is set, so that different names never share a key.
inline std::string uid_text(const std::string& name) {
    return name + std::string(name.size() < 22 ? 22 - name.size() : 0, 'A');
}

inline context::zone make_zone(const std::string& uid, const std::string& type_name = "polygon") {
    return context::zone(uid, boost::none, "project", std::string("sublocation"), boost::none, boost::none, true,
                         context::shape::POLYGON, type_name, true, {}, {});
}

inline context::trackable_object make_object(const std::string& uid,
                                             boost::optional<context::point> position = boost::none) {
    return context::trackable_object(uid, parse_uid(uid), "project", true, true, position, std::string("sublocation"),
                                     {});
}

inline context::trackable_object_in_zone make_record(const std::string& object_uid, const std::string& zone_uid,
                                                     const std::string& zone_type_name = "polygon") {
    return context::trackable_object_in_zone(context::trackable_object_in_zone::make_uid(parse_uid(object_uid),
                                                                                         zone_uid),
                                             object_uid, zone_uid, "project", "sublocation", zone_type_name);
}

}  // namespace kel::test
