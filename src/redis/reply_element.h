#pragma once

#include "redis/reply_type.h"

#include <cstdint>
#include <functional>
#include <string>

struct redisReply;

namespace kel::redis {

class reply_array;

// A non-owning view of one hiredis reply: the top of a reply or an element
// of an array reply. Valid only while the reply that owns the tree lives.
// Conversions check the type first and throw kel::libs::core::exception
// naming the actual type.
class reply_element {
public:
    explicit reply_element(const redisReply& element);
    virtual ~reply_element() = default;
    reply_element(const reply_element&) = default;
    reply_element& operator=(const reply_element&) = default;

    reply_type get_type() const;
    // STRING, STATUS or ERROR: all the reply's bytes, embedded NULs included.
    std::string to_string() const;
    // INTEGER only.
    std::int64_t to_integer() const;
    // ARRAY only; the array views into the same reply tree.
    reply_array as_array() const;

private:
    std::reference_wrapper<const redisReply> m_element;
};

}  // namespace kel::redis
