#include "object_blocks.h"

namespace kel {

object_block* object_blocks::hinted(const context::trackable_object& object) const {
    const auto hint = object.get_block_hint();
    if (hint >= m_blocks.size())
        return nullptr;
    object_block& block = m_blocks[hint];
    return block.used && block.key == object.get_uid_bytes() ? &block : nullptr;
}

std::uint32_t object_blocks::place_of(const kel::uid& key) {
    const auto found = m_by_key.find(key);
    if (found != m_by_key.end())
        return found->second;
    std::uint32_t place;
    if (!m_free.empty()) {
        place = m_free.back();
        m_free.pop_back();
    } else {
        place = static_cast<std::uint32_t>(m_blocks.size());
        m_blocks.emplace_back();
    }
    object_block& block = m_blocks[place];
    block.key = key;
    block.used = true;
    m_by_key.emplace(key, place);
    return place;
}

object_block& object_blocks::of(const context::trackable_object& object) {
    if (object_block* block = hinted(object))
        return *block;
    const auto place = place_of(object.get_uid_bytes());
    object.set_block_hint(place);
    return m_blocks[place];
}

object_block& object_blocks::of(const kel::uid& key) {
    return m_blocks[place_of(key)];
}

const object_block* object_blocks::find(const context::trackable_object& object) const {
    if (const object_block* block = hinted(object))
        return block;
    const auto found = m_by_key.find(object.get_uid_bytes());
    return found == m_by_key.end() ? nullptr : &m_blocks[found->second];
}

object_block* object_blocks::find(const kel::uid& key) {
    const auto found = m_by_key.find(key);
    return found == m_by_key.end() ? nullptr : &m_blocks[found->second];
}

void object_blocks::erase(const kel::uid& key) {
    const auto found = m_by_key.find(key);
    if (found == m_by_key.end())
        return;
    m_blocks[found->second] = object_block{};
    m_free.push_back(found->second);
    m_by_key.erase(found);
}

}  // namespace kel
