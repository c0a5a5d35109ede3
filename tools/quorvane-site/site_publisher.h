#pragma once

#include "core/timestamp.h"
#include "core/zmq/async_socket.h"

#include <boost/asio/io_context.hpp>

#include <json/json.h>

#include <string>

namespace kel::site {

// The message proxy's output as the service sees it: a PUB socket bound on
// 127.0.0.1 that the service subscribes to. Every message is one frame, the
// topic text followed directly by a JSON object: "$pos{...}" for a position,
// "#notify{...}" for a change of a server object. The publisher paces
// itself (the demo's rate), so ZeroMQ's high-water mark stays at its default.
// The io_context must outlive the publisher.
class site_publisher {
public:
    // One located tag, as the positioning engine reports it.
    struct position {
        std::string trackable_object_uid;
        std::string sublocation_uid;
        std::string mac_address;
        int x = 0;
        int y = 0;
        int z = 0;
        libs::core::timestamp ts;
    };

    // Throws boost::system::system_error when the port cannot be bound.
    site_publisher(boost::asio::io_context& io_context, int port);

    void publish_position(const position& p);
    // A "notify" of the zone's new state, action "updated".
    void publish_zone_update(const Json::Value& zone, libs::core::timestamp ts);

    static std::string position_frame(const position& p);
    static std::string zone_update_frame(const Json::Value& zone, libs::core::timestamp ts);

private:
    libs::core::zmq::async_socket m_socket;
};

}  // namespace kel::site
