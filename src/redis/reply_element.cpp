#include "redis/reply_element.h"

#include "redis/reply_array.h"

#include "core/exception.h"

#include <hiredis/hiredis.h>

namespace kel::redis {

reply_element::reply_element(const redisReply& element) : m_element(element) {}

reply_type reply_element::get_type() const {
    return static_cast<reply_type>(m_element.get().type);
}

std::string reply_element::to_string() const {
    const auto type = get_type();
    if (type != reply_type::STRING && type != reply_type::STATUS && type != reply_type::ERROR)
        KEL_THROW("Reply is not string, actual type: " + redis::to_string(type));
    return std::string(m_element.get().str, m_element.get().len);
}

std::int64_t reply_element::to_integer() const {
    const auto type = get_type();
    if (type != reply_type::INTEGER)
        KEL_THROW("Reply is not integer, actual type: " + redis::to_string(type));
    return m_element.get().integer;
}

reply_array reply_element::as_array() const {
    const auto type = get_type();
    if (type != reply_type::ARRAY)
        KEL_THROW("Reply is not array, actual type: " + redis::to_string(type));
    return reply_array(m_element.get().element, m_element.get().elements);
}

}  // namespace kel::redis
