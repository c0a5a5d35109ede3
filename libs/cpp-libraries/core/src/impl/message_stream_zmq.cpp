#include "message_stream_zmq.h"

#include <cctype>

namespace kel::libs::core {

namespace {

std::string wire_topic(boost::string_view topic) {
    if (!topic.empty() && std::isalpha(static_cast<unsigned char>(topic.front())))
        return "#" + topic.to_string();
    return topic.to_string();
}

}  // namespace

message_stream_zmq::message_stream_zmq(boost::asio::io_context& io_context, const component_logger& logger,
                                       const std::string& address)
    : m_stream_zmq_raw(io_context, logger, address) {}

message_stream::subscription::ptr message_stream_zmq::subscribe(boost::string_view topic, callback cb) {
    return m_stream_zmq_raw.subscribe(wire_topic(topic), [cb = std::move(cb)](boost::string_view frame) {
        const auto payload = frame.find('{');
        if (payload != boost::string_view::npos)
            cb(frame.substr(payload));
    });
}

}  // namespace kel::libs::core
