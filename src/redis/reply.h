#pragma once

#include "redis/reply_array.h"
#include "redis/reply_element.h"

#include <memory>

struct redisReply;

namespace kel::redis {

// An owned hiredis reply, freed on destruction; its inherited view refers to
// the top of the reply. Views taken from it (elements, arrays) must not
// outlive it, nor may a moved-from reply be read.
class reply : public reply_element {
public:
    // Takes ownership of a reply hiredis returned; `raw` must not be null.
    explicit reply(redisReply* raw);
    reply(reply&&) = default;
    reply& operator=(reply&&) = default;
    reply(const reply&) = delete;
    reply& operator=(const reply&) = delete;

private:
    struct reply_deleter {
        void operator()(redisReply* raw) const;
    };

    std::unique_ptr<redisReply, reply_deleter> m_reply_ptr;
};

}  // namespace kel::redis
