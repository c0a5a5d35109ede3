#include "redis/reply.h"

#include <hiredis/hiredis.h>

namespace kel::redis {

reply::reply(redisReply* raw) : reply_element(*raw), m_reply_ptr(raw) {}

void reply::reply_deleter::operator()(redisReply* raw) const {
    freeReplyObject(raw);
}

}  // namespace kel::redis
