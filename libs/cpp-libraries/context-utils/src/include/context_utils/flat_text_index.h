#pragma once

#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

// Inlined: a lookup hashes one short uid, and a call into the library
// would cost as much as the hash itself.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace kel::libs::context_utils {

// An index from texts to handles of the entries that hold them: open
// addressing with linear probing over one array of slots, each holding a
// handle and its key's hash. A lookup reads a slot or two, where a node-based
// hash map would chase a bucket, the node before and the node itself, each
// a likely cache miss on a large site, before it even compares the key.
//
// `Handle` is a small copyable value (an iterator into a node container);
// `KeyOf` maps a handle to the text it is filed under, which must stay
// valid and unchanged while the handle is filed. The index owns nothing but
// its slots. Not thread-safe.
template <typename Handle, typename KeyOf>
class flat_text_index {
public:
    explicit flat_text_index(KeyOf key_of = KeyOf()) : m_key_of(std::move(key_of)) {}

    // The handle filed under `key`; null when there is none. Valid until the
    // next insert or erase.
    const Handle* find(std::string_view key) const {
        if (m_slots.empty())
            return nullptr;
        const std::size_t hash = hash_of(key);
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            const slot& s = m_slots[i];
            if (s.hash == empty)
                return nullptr;
            if (s.hash == hash && std::string_view(m_key_of(s.handle)) == key)
                return &s.handle;
        }
    }

    // Files `handle` under its key, which must not be filed already.
    void insert(Handle handle) {
        // At most half full, so that probes stay short.
        if (2 * (m_size + 1) > m_slots.size())
            rehash(m_slots.empty() ? initial_slots : 2 * m_slots.size());
        place(slot{hash_of(m_key_of(handle)), std::move(handle)});
        ++m_size;
    }

    // Unfiles what is filed under `key`; nothing when there is none.
    void erase(std::string_view key) {
        if (m_slots.empty())
            return;
        const std::size_t hash = hash_of(key);
        const std::size_t mask = m_slots.size() - 1;
        std::size_t hole = hash & mask;
        for (;; hole = (hole + 1) & mask) {
            const slot& s = m_slots[hole];
            if (s.hash == empty)
                return;
            if (s.hash == hash && std::string_view(m_key_of(s.handle)) == key)
                break;
        }
        m_slots[hole] = slot{};
        --m_size;
        // Backward shift instead of a tombstone: each slot of the run after
        // the hole moves into it unless its home lies cyclically in
        // (hole, at], so every key stays reachable from its home without a
        // gap, and lookups never wade through deleted slots.
        for (std::size_t at = (hole + 1) & mask; m_slots[at].hash != empty; at = (at + 1) & mask) {
            const std::size_t home = m_slots[at].hash & mask;
            const bool stays = hole < at ? (hole < home && home <= at) : (hole < home || home <= at);
            if (stays)
                continue;
            m_slots[hole] = std::move(m_slots[at]);
            m_slots[at] = slot{};
            hole = at;
        }
    }

    std::size_t size() const { return m_size; }

private:
    static constexpr std::size_t empty = 0;
    static constexpr std::size_t initial_slots = 16;

    struct slot {
        // `empty` for a free slot; a filed key's hash is never `empty`.
        std::size_t hash = empty;
        Handle handle{};
    };

    // XXH3 reads a uid of a few dozen bytes in a few wide loads, where
    // std::hash walks its tail byte by byte: a third of the instructions
    // of every lookup by uid. The slots' order is no one's concern, so the
    // choice of hash shows nowhere but in the time.
    static std::size_t hash_of(std::string_view key) {
        const std::size_t hash = XXH3_64bits(key.data(), key.size());
        return hash == empty ? 1 : hash;
    }

    void place(slot filed) {
        const std::size_t mask = m_slots.size() - 1;
        std::size_t i = filed.hash & mask;
        while (m_slots[i].hash != empty)
            i = (i + 1) & mask;
        m_slots[i] = std::move(filed);
    }

    // `count` is a power of two.
    void rehash(std::size_t count) {
        std::vector<slot> old(count);
        old.swap(m_slots);
        for (slot& s : old) {
            if (s.hash != empty)
                place(std::move(s));
        }
    }

    std::vector<slot> m_slots;
    std::size_t m_size = 0;
    KeyOf m_key_of;
};

}  // namespace kel::libs::context_utils
