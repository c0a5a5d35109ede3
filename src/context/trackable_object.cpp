#include "context/trackable_object.h"

#include "context/multi_tiered_zone.h"

#include <atomic>
#include <functional>
#include <ostream>

namespace kel::context {

namespace {

std::uint64_t next_inputs_version() {
    static std::atomic<std::uint64_t> last{0};
    return last.fetch_add(1, std::memory_order_relaxed) + 1;
}

}  // namespace

trackable_object::trackable_object(std::string uid,
                                   kel::uid uid_bytes,
                                   std::string project_uid,
                                   bool responsive,
                                   bool associated,
                                   boost::optional<point> position,
                                   boost::optional<std::string> sublocation_uid,
                                   std::set<std::string> groups)
    : m_uid(std::move(uid)),
      m_uid_bytes(uid_bytes),
      m_pinned_uid(m_uid),
      m_project_uid(std::move(project_uid)),
      m_responsive(responsive),
      m_associated(associated),
      m_position(position),
      m_sublocation_uid(std::move(sublocation_uid)),
      m_groups(std::move(groups)),
      m_inputs_version(next_inputs_version()) {
    if (m_sublocation_uid)
        m_sublocation_hash = std::hash<std::string>{}(*m_sublocation_uid);
}

void trackable_object::set_sublocation_uid(boost::optional<std::string> uid) {
    m_sublocation_uid = std::move(uid);
    m_sublocation_hash = m_sublocation_uid ? std::hash<std::string>{}(*m_sublocation_uid) : 0;
    touch();
}

void trackable_object::touch() {
    m_inputs_version = next_inputs_version();
}

boost::optional<const std::string&> trackable_object::get_sublocation_uid() const {
    if (!m_sublocation_uid)
        return boost::none;
    return *m_sublocation_uid;
}

std::ostream& operator<<(std::ostream& os, const trackable_object& object) {
    return os << "trackable_object{ " << object.get_uid() << "}";
}

boost::optional<const multi_tiered_zone&> trackable_object::find_carried_zones(
    const remembered_lookup<multi_tiered_zone>::repository& groups) const {
    return m_carried_zones.find(groups, m_uid);
}

}  // namespace kel::context
