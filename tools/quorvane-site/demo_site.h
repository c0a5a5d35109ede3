#pragma once

#include "event_printer.h"
#include "event_receiver.h"
#include "options.h"
#include "site_objects.h"
#include "site_publisher.h"
#include "tag_route.h"
#include "zone_change_script.h"

#include "loopback_http/http_server.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/utility/string_view.hpp>

#include <json/json.h>

#include <chrono>
#include <ostream>
#include <string>
#include <vector>

namespace kel::site {

// A whole site around one quorvane, on loopback: the HTTP server of the
// site's objects, the message proxy's output with the tags' positions and
// the scripted zone changes, and its input, whose events are printed as they
// arrive. Everything but the HTTP server (which answers from its own thread)
// runs on one thread inside run().
class demo_site {
public:
    // `site` is the site file's content: the server's lists ("zones",
    // "trackableObjects", "sublocations", "nodes", ...), "routes" (one per
    // moving tag, see tag_route) and "zone_changes" (see zone_change_script).
    // Binds the three ports. Throws std::runtime_error for a defect of the
    // site, boost::system::system_error for a port that cannot be bound.
    // `out` receives the printed lines and must outlive the demo.
    demo_site(const options& o, const Json::Value& site, std::ostream& out);

    // Until the duration is over or SIGINT or SIGTERM arrives. Starts with
    // the line "quorvane-site: serving ...", once everything is in place,
    // and ends with a summary line.
    void run();

private:
    struct tag {
        tag_route route;
        std::string sublocation_uid;
        std::string mac_address;
    };

    static std::vector<tag> tags_of(const Json::Value& routes, const site_objects& objects);
    void serve(const site_objects::kind& k);
    void serve(const std::string& json_name);
    void schedule_positions();
    void publish_positions();
    void schedule_change();
    void make_change();
    void on_event(boost::string_view message);
    void stop();
    void print(const std::string& line);

    options m_options;
    std::ostream& m_out;
    boost::asio::io_context m_io_context;
    site_objects m_objects;
    std::vector<tag> m_tags;
    zone_change_script m_changes;
    event_printer m_printer;
    libs::loopback_http::http_server m_http;
    site_publisher m_publisher;
    event_receiver m_receiver;
    boost::asio::steady_timer m_position_timer;
    boost::asio::steady_timer m_change_timer;
    boost::asio::steady_timer m_end_timer;
    boost::asio::signal_set m_signals;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::nanoseconds m_position_period;
    long m_ticks = 0;
    long m_enters = 0;
    long m_leaves = 0;
};

}  // namespace kel::site
