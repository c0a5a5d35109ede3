#pragma once

#include "context/trackable_object_in_zone.h"
#include "globals.h"

#include <array>
#include <cstdint>

namespace kel {

// A few of the records one object's last position used, by the uid words
// of their zones. Consecutive positions of an object are close, so they
// mostly use the same records again; a hit here spares a lookup in the
// record map, which is large enough for each lookup to miss the cache.
//
// Holds pointers into the record map: whoever fills it must forget() each
// record as the map erases it, and may then trust every pointer it finds.
class recent_records {
public:
    static constexpr std::size_t capacity = 8;

    context::trackable_object_in_zone* find(const context::trackable_object_in_zone_uid& key) const {
        for (std::size_t i = 0; i < m_count; ++i) {
            if (m_entries[i].word0 == key[2] && m_entries[i].word1 == key[3])
                return m_entries[i].record;
        }
        return nullptr;
    }
    void forget(const context::trackable_object_in_zone_uid& key) {
        for (std::size_t i = 0; i < m_count; ++i) {
            if (m_entries[i].word0 == key[2] && m_entries[i].word1 == key[3]) {
                m_entries[i] = m_entries[--m_count];
                return;
            }
        }
    }
    void clear() { m_count = 0; }
    // Beyond the capacity, records are not kept.
    void add(context::trackable_object_in_zone& record) {
        if (m_count == capacity)
            return;
        const auto& key = record.get_uid();
        m_entries[m_count++] = {key[2], key[3], &record};
    }

private:
    struct entry {
        std::uint64_t word0;
        std::uint64_t word1;
        context::trackable_object_in_zone* record;
    };
    std::array<entry, capacity> m_entries;
    std::uint8_t m_count = 0;
};

}  // namespace kel
