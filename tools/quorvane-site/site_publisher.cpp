#include "site_publisher.h"

#include "core/json.h"

namespace kel::site {

site_publisher::site_publisher(boost::asio::io_context& io_context, int port)
    : m_socket(io_context, ::zmq::socket_type::pub) {
    m_socket.bind("tcp://127.0.0.1:" + std::to_string(port));
}

void site_publisher::publish_position(const position& p) {
    // Without a subscriber PUB drops the message; that is what a real proxy
    // does too, so the error is not worth reporting.
    m_socket.send(position_frame(p));
}

void site_publisher::publish_zone_update(const Json::Value& zone, libs::core::timestamp ts) {
    m_socket.send(zone_update_frame(zone, ts));
}

std::string site_publisher::position_frame(const position& p) {
    Json::Value data(Json::objectValue);
    data["x"] = p.x;
    data["y"] = p.y;
    data["z"] = p.z;
    data["type"] = "uwb";
    data["sl_uid"] = p.sublocation_uid;
    data["mac"] = p.mac_address;
    Json::Value message(Json::objectValue);
    message["tk_uid"] = p.trackable_object_uid;
    message["ts"] = p.ts.to_iso_8601(true, 'T', true);
    message["fom"] = 1u;
    message["data"] = data;
    return "$pos" + libs::core::json::to_string(message);
}

std::string site_publisher::zone_update_frame(const Json::Value& zone, libs::core::timestamp ts) {
    Json::Value message(Json::objectValue);
    message["object"] = "ZONE";
    message["action"] = "updated";
    message["ts"] = static_cast<Json::UInt64>(ts.get_ts());
    message["ms"] = ts.get_ms();
    message["plist"] = zone;
    return "#notify" + libs::core::json::to_string(message);
}

}  // namespace kel::site
