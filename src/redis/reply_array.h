#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

struct redisReply;

namespace kel::redis {

class reply_element;

// A view of the elements of an array reply, valid only while the reply that
// owns them lives.
class reply_array {
public:
    // Returns false to stop the walk.
    using element_callback = std::function<bool(const reply_element&)>;

    reply_array(redisReply** data, std::uint64_t size);

    std::uint64_t size() const { return m_size; }
    // Throws kel::libs::core::exception "Index out of range" when i >= size().
    reply_element operator[](std::size_t i) const;
    // Visits the elements from index 0 upwards; false when the callback
    // stopped the walk, true otherwise (also for an empty array).
    bool for_each_element(const element_callback& callback) const;

private:
    redisReply** m_data;
    std::uint64_t m_size;
};

}  // namespace kel::redis
