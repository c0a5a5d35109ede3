#pragma once

#include <hiredis/hiredis.h>

namespace kel::redis {

// While it lives, the replies read on one connection that only say that a
// command was done (a status such as "+OK", an integer, a nil) are not built
// into hiredis reply objects: redisGetReply hands out the marker done()
// instead, which must not be freed. Error replies, bulk strings and arrays
// are built as usual. The writes of a pipeline are answered this way without
// an allocation per command.
//
// Construct it around the reads of one pipeline and let it go before any
// other read on the connection. The connection must outlive it and build
// its replies with hiredis's default functions.
class unbuilt_replies {
public:
    explicit unbuilt_replies(redisContext& connection);
    ~unbuilt_replies();
    unbuilt_replies(const unbuilt_replies&) = delete;
    unbuilt_replies& operator=(const unbuilt_replies&) = delete;

    static void* done();

private:
    redisReader& m_reader;
    redisReplyObjectFunctions* m_built;
    void* m_privdata;
};

}  // namespace kel::redis
