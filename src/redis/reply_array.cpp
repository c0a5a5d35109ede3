#include "redis/reply_array.h"

#include "redis/reply_element.h"

#include "core/exception.h"

#include <hiredis/hiredis.h>

namespace kel::redis {

reply_array::reply_array(redisReply** data, std::uint64_t size) : m_data(data), m_size(size) {}

reply_element reply_array::operator[](std::size_t i) const {
    if (i >= m_size)
        KEL_THROW("Index out of range");
    return reply_element(*m_data[i]);
}

bool reply_array::for_each_element(const element_callback& callback) const {
    for (std::uint64_t i = 0; i < m_size; ++i) {
        if (!callback(reply_element(*m_data[i])))
            return false;
    }
    return true;
}

}  // namespace kel::redis
