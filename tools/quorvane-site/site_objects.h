#pragma once

#include "core/timestamp.h"

#include <json/json.h>

#include <map>
#include <string>
#include <vector>

namespace kel::site {

// The site's objects as its HTTP server lists them: one JSON array per kind
// of the server's catalogue ("zones", "trackableObjects", ...), taken from
// the site file and kept up to date while the demo runs, the way a real site
// server would be: tags' positions, scripted zone changes, and the trackable
// objects each zone holds according to the events received. The service
// reads those lists at start and at every re-synchronization, so they must
// agree with what it was told since.
//
// Owns its JSON; pointers it returns stay valid until the next change. Not
// thread-safe: the demo uses it from its loop thread only.
class site_objects {
public:
    // One kind of server object: the member of the answer that holds the
    // array, and the path it is served on.
    struct kind {
        const char* json_name;
        const char* path;
    };
    static const std::vector<kind>& kinds();

    // Takes the lists from the site file's members of the same names; a
    // missing list is served empty. Throws std::runtime_error naming the
    // first defect: a list that is not an array, an object without a uid of
    // 22 base64 characters, two uids of one kind that decode to the same 16
    // bytes, a zone or trackable object without a name.
    explicit site_objects(const Json::Value& site);

    // The server's answer for `k`: {"<json_name>": [...]} as compact JSON.
    std::string answer(const kind& k) const;

    // Objects in the list named `json_name`.
    std::size_t count(const std::string& json_name) const { return m_lists[json_name].size(); }
    // Null when there is no such object.
    const Json::Value* zone(const std::string& uid) const;
    const Json::Value* trackable_object(const std::string& uid) const;
    // Where a tag is when its trackable object names no sublocation: the
    // first sublocation of the site, or empty.
    std::string default_sublocation_uid() const;

    // The trackable object's "position"; unknown uids are ignored.
    void set_position(const std::string& uid, int x, int y, int z, const std::string& sublocation_uid);
    // Sets the members of `fields` on the zone and stamps "updated_at";
    // returns the changed zone. Throws std::out_of_range for an unknown uid.
    const Json::Value& change_zone(const std::string& uid, const Json::Value& fields, libs::core::timestamp ts);
    // An event as the service sends it: "enter" puts its object into the
    // zone's "trackables_in_zone", "leave" takes it out.
    void record_event(const Json::Value& event);

private:
    Json::Value& list(const std::string& json_name);
    void index(const std::string& json_name, std::map<std::string, Json::ArrayIndex>& by_uid);
    static const Json::Value* find(const Json::Value& list, const std::map<std::string, Json::ArrayIndex>& by_uid,
                                   const std::string& uid);

    Json::Value m_lists{Json::objectValue};
    std::map<std::string, Json::ArrayIndex> m_zones;
    std::map<std::string, Json::ArrayIndex> m_trackable_objects;
};

}  // namespace kel::site
