// pos_floor: the floor the service is compared with. A subscriber that does
// nothing but receive each "$pos" message and read the fields the service
// reads: with jsoncpp (one reader for the whole run, as a hot path should),
// or with the service's own simdjson reader (--reader simdjson). It answers the load generator's probe positions, the only
// ones it acts on, with an event of the probe's time on its PUSH socket, so
// that the generator drives it in the same closed loop as the service.
//
//   pos_floor --output tcp://127.0.0.1:PUB --input tcp://127.0.0.1:PULL --probe-uid UID [--reader R]
//
// Runs until SIGINT or SIGTERM, at most an hour; prints the messages it parsed.
#include "core/timestamp.h"
#include "parsers/pos_reader.h"

#include <json/json.h>
#include <zmq.hpp>

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <iostream>
#include <memory>
#include <string>

namespace {

volatile std::sig_atomic_t stop_requested = 0;

void on_signal(int) {
    stop_requested = 1;
}

struct arguments {
    std::string output;
    std::string input;
    std::string probe_uid;
    bool simdjson = false;
};

bool parse_arguments(int argc, char* argv[], arguments& a) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--output")
            a.output = argv[i + 1];
        else if (name == "--input")
            a.input = argv[i + 1];
        else if (name == "--probe-uid")
            a.probe_uid = argv[i + 1];
        else if (name == "--reader" && (std::string(argv[i + 1]) == "simdjson" || std::string(argv[i + 1]) == "jsoncpp"))
            a.simdjson = std::string(argv[i + 1]) == "simdjson";
        else
            return false;
    }
    return argc % 2 == 1 && !a.output.empty() && !a.input.empty() && !a.probe_uid.empty();
}

// The probe's event: only its time and object matter to the generator.
std::string acknowledgement(const std::string& uid, kel::libs::core::timestamp ts) {
    return "#zone_event {\"action\":\"enter\",\"ms\":" + std::to_string(ts.get_ms()) + ",\"obj_uid\":\"" + uid +
           "\",\"ts\":" + std::to_string(ts.get_ts()) + "}";
}

// Reads what the service reads of a position; false when it is malformed.
bool read_position(const Json::Value& p) {
    const Json::Value& data = p["data"];
    return p.isObject() && data.isObject() && data["z"].isNumeric() && data["y"].isNumeric() &&
           data["x"].isNumeric() && data["sl_uid"].isString() && p["tk_uid"].isString() && p["ts"].isString();
}

// False on the receive timeout and when a signal interrupted the wait.
bool receive(zmq::socket_t& socket, zmq::message_t& m) {
    try {
        return socket.recv(m).has_value();
    } catch (const zmq::error_t& e) {
        if (e.num() == EINTR)
            return false;
        throw;
    }
}

long run(const arguments& a) {
    zmq::context_t context(1);
    zmq::socket_t sub(context, zmq::socket_type::sub);
    zmq::socket_t push(context, zmq::socket_type::push);
    sub.set(zmq::sockopt::linger, 0);
    push.set(zmq::sockopt::linger, 0);
    sub.set(zmq::sockopt::rcvtimeo, 100);
    sub.set(zmq::sockopt::subscribe, "$pos");
    sub.connect(a.output);
    push.connect(a.input);
    const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
    kel::libs::context_utils::parsers::pos_reader fast_reader;
    const std::size_t topic = std::string("$pos").size();
    long parsed = 0;
    zmq::message_t m;
    while (!stop_requested) {
        if (!receive(sub, m) || m.size() <= topic)
            continue;
        const char* begin = static_cast<const char*>(m.data()) + topic;
        const char* end = static_cast<const char*>(m.data()) + m.size();
        if (a.simdjson) {
            const auto* fields = fast_reader.read(boost::string_view(begin, static_cast<std::size_t>(end - begin)));
            if (fields == nullptr)
                continue;
            ++parsed;
            if (fields->get_trackable_uid() == a.probe_uid)
                push.send(zmq::buffer(acknowledgement(a.probe_uid, fields->get_ts())), zmq::send_flags::none);
            continue;
        }
        Json::Value position;
        std::string errors;
        if (!reader->parse(begin, end, &position, &errors) || !read_position(position))
            continue;
        ++parsed;
        if (position["tk_uid"].asString() == a.probe_uid)
            push.send(zmq::buffer(acknowledgement(a.probe_uid, kel::libs::core::timestamp(position["ts"].asString()))),
                      zmq::send_flags::none);
    }
    return parsed;
}

}  // namespace

int main(int argc, char* argv[]) {
    arguments a;
    if (!parse_arguments(argc, argv, a)) {
        std::cerr << "usage: " << argv[0]
                  << " --output ENDPOINT --input ENDPOINT --probe-uid UID [--reader jsoncpp|simdjson]\n";
        return 1;
    }
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    // Never outlives its run by much, whoever started it.
    alarm(3600);
    try {
        std::cout << "pos_floor: " << run(a) << " positions parsed" << std::endl;
    } catch (const std::exception& e) {
        std::cerr << "pos_floor: " << e.what() << "\n";
        return 2;
    }
    return 0;
}
