#include "redis/unbuilt_replies.h"

namespace kel::redis {

namespace {

redisReply done_marker{};

// The reader hands its privdata to every task: while an unbuilt_replies
// lives it points to the connection's own functions, which build what is
// built.
const redisReplyObjectFunctions& built(const redisReadTask* task) {
    return *static_cast<const redisReplyObjectFunctions*>(task->privdata);
}

// Only a reply of its own, not an element of an array, is left unbuilt: an
// array's elements are attached to it by the functions that built it.
void* create_string(const redisReadTask* task, char* text, std::size_t length) {
    if (task->parent == nullptr && task->type == REDIS_REPLY_STATUS)
        return unbuilt_replies::done();
    return built(task).createString(task, text, length);
}

void* create_array(const redisReadTask* task, int elements) {
    return built(task).createArray(task, elements);
}

void* create_integer(const redisReadTask* task, long long value) {
    if (task->parent == nullptr)
        return unbuilt_replies::done();
    return built(task).createInteger(task, value);
}

void* create_nil(const redisReadTask* task) {
    if (task->parent == nullptr)
        return unbuilt_replies::done();
    return built(task).createNil(task);
}

// The reader frees what it built when the protocol breaks; the marker is
// not its to free.
void free_object(void* object) {
    if (object != unbuilt_replies::done())
        freeReplyObject(object);
}

redisReplyObjectFunctions unbuilt_functions{create_string, create_array, create_integer, create_nil, free_object};

}  // namespace

unbuilt_replies::unbuilt_replies(redisContext& connection)
    : m_reader(*connection.reader), m_built(connection.reader->fn), m_privdata(connection.reader->privdata) {
    m_reader.fn = &unbuilt_functions;
    m_reader.privdata = m_built;
}

unbuilt_replies::~unbuilt_replies() {
    m_reader.fn = m_built;
    m_reader.privdata = m_privdata;
}

void* unbuilt_replies::done() {
    return &done_marker;
}

}  // namespace kel::redis
