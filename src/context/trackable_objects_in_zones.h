#pragma once

#include "context/trackable_object_in_zone.h"
#include "globals.h"
#include "recycling_allocator.h"

#include <boost/signals2/signal.hpp>

#include <cstddef>
#include <unordered_map>
#include <utility>

namespace kel::context {

// The membership records of the site by their key, as an unordered map
// whose erasures are told first to whoever subscribed. A record stays where
// it is from its insertion to its erasure (the map's nodes never move), so
// a holder of record pointers may keep them as long as it lets go of each
// when told of its erasure.
class trackable_objects_in_zones {
public:
    // Records are made and erased as objects come and go: their nodes are
    // recycled rather than asked of malloc each time.
    using map_type = std::unordered_map<
        trackable_object_in_zone_uid, trackable_object_in_zone, trackable_object_in_zone_uid_hash,
        trackable_object_in_zone_uid_equal,
        recycling_allocator<std::pair<const trackable_object_in_zone_uid, trackable_object_in_zone>>>;
    using key_type = map_type::key_type;
    using value_type = map_type::value_type;
    using iterator = map_type::iterator;
    using const_iterator = map_type::const_iterator;
    using erase_signal = boost::signals2::signal<void(const trackable_object_in_zone_uid&)>;

    trackable_objects_in_zones() = default;
    trackable_objects_in_zones(const trackable_objects_in_zones&) = delete;
    trackable_objects_in_zones& operator=(const trackable_objects_in_zones&) = delete;

    iterator begin() { return m_map.begin(); }
    iterator end() { return m_map.end(); }
    const_iterator begin() const { return m_map.begin(); }
    const_iterator end() const { return m_map.end(); }
    iterator find(const key_type& key) { return m_map.find(key); }
    const_iterator find(const key_type& key) const { return m_map.find(key); }
    std::size_t count(const key_type& key) const { return m_map.count(key); }
    std::size_t size() const { return m_map.size(); }
    bool empty() const { return m_map.empty(); }
    std::size_t bucket_count() const { return m_map.bucket_count(); }
    std::size_t bucket_size(std::size_t bucket) const { return m_map.bucket_size(bucket); }

    template <typename... Args>
    std::pair<iterator, bool> emplace(Args&&... args) {
        return m_map.emplace(std::forward<Args>(args)...);
    }
    template <typename... Args>
    std::pair<iterator, bool> try_emplace(const key_type& key, Args&&... args) {
        return m_map.try_emplace(key, std::forward<Args>(args)...);
    }

    // Each tells the subscribers before the record goes. `key` may live in
    // the record erased.
    iterator erase(const_iterator position);
    iterator erase(iterator position) { return erase(const_iterator(position)); }
    std::size_t erase(const key_type& key);
    // Erases every record, each told, and starts a new map: its iteration
    // order then owes nothing to what it held before.
    void clear();

    boost::signals2::connection on_erase(const erase_signal::slot_type& slot) { return m_on_erase.connect(slot); }

private:
    map_type m_map;
    erase_signal m_on_erase;
};

}  // namespace kel::context
