#include "object_blocks.h"

namespace kel {

std::uint32_t object_blocks::place_of(const kel::uid& key) {
    const auto found = m_by_key.find(key);
    if (found != m_by_key.end())
        return m_last = found->second;
    std::uint32_t place;
    if (!m_free.empty()) {
        place = m_free.back();
        m_free.pop_back();
    } else {
        place = m_count++;
        if (place % chunk_size == 0)
            m_chunks.push_back(std::make_unique<object_block[]>(chunk_size));
    }
    object_block& block = at(place);
    block.key = key;
    block.used = true;
    m_by_key.emplace(key, place);
    return m_last = place;
}

object_block& object_blocks::of_unhinted(const context::trackable_object& object) {
    const auto place = place_of(object.get_uid_bytes());
    object.set_block_hint(place);
    return at(place);
}

object_block& object_blocks::of(const kel::uid& key) {
    if (object_block* block = holding(m_last, key))
        return *block;
    return at(place_of(key));
}

const object_block* object_blocks::find(const context::trackable_object& object) const {
    if (const object_block* block = hinted(object))
        return block;
    const auto found = m_by_key.find(object.get_uid_bytes());
    return found == m_by_key.end() ? nullptr : &at(found->second);
}

object_block* object_blocks::find(const kel::uid& key) {
    if (object_block* block = holding(m_last, key))
        return block;
    const auto found = m_by_key.find(key);
    return found == m_by_key.end() ? nullptr : &at(found->second);
}

void object_blocks::erase(const kel::uid& key) {
    const auto found = m_by_key.find(key);
    if (found == m_by_key.end())
        return;
    at(found->second) = object_block{};
    m_free.push_back(found->second);
    m_by_key.erase(found);
}

}  // namespace kel
