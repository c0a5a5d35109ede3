#include "demo_site.h"

#include "core/json.h"

#include <cmath>
#include <csignal>
#include <stdexcept>

namespace kel::site {

namespace {

std::string text_or(const Json::Value& value, const std::string& otherwise) {
    return value.isString() ? value.asString() : otherwise;
}

// An event as the service pushes it, "#zone_event " and a JSON object; null
// when it cannot be read.
Json::Value event_of(boost::string_view message) {
    const auto start = message.find('{');
    if (start == boost::string_view::npos)
        return {};
    auto parsed = libs::core::json::try_parse(message.substr(start));
    return parsed.ok ? parsed.result : Json::Value();
}

}  // namespace

demo_site::demo_site(const options& o, const Json::Value& site, std::ostream& out)
    : m_options(o),
      m_out(out),
      m_objects(site),
      m_tags(tags_of(site["routes"], m_objects)),
      m_changes(site["zone_changes"], m_objects),
      m_printer(m_objects, o.utc),
      m_http(o.http_port),
      m_publisher(m_io_context, o.pub_port),
      m_receiver(m_io_context, o.pull_port, [this](boost::string_view message) { on_event(message); }),
      m_position_timer(m_io_context),
      m_change_timer(m_io_context),
      m_end_timer(m_io_context),
      m_signals(m_io_context, SIGINT, SIGTERM),
      m_position_period(std::llround(1e9 / o.rate)) {
    for (const auto& k : site_objects::kinds())
        serve(k);
}

std::vector<demo_site::tag> demo_site::tags_of(const Json::Value& routes, const site_objects& objects) {
    if (!routes.isNull() && !routes.isArray())
        throw std::runtime_error("\"routes\" is not an array");
    std::vector<tag> tags;
    for (Json::ArrayIndex i = 0; i < routes.size(); ++i) {
        const std::string where = "routes[" + std::to_string(i) + "]: ";
        try {
            tag_route route = tag_route::from_json(routes[i]);
            const Json::Value* object = objects.trackable_object(route.trackable_object_uid());
            if (!object)
                throw std::runtime_error("no trackable object " + route.trackable_object_uid());
            const std::string sublocation =
                text_or((*object)["position"]["sl_id"], objects.default_sublocation_uid());
            tags.push_back({std::move(route), sublocation, text_or((*object)["node"]["mac_address"], "")});
        } catch (const std::exception& e) {
            throw std::runtime_error(where + e.what());
        }
    }
    return tags;
}

void demo_site::run() {
    print("quorvane-site: " + std::to_string(m_objects.count("zones")) + " zones, " +
          std::to_string(m_objects.count("trackableObjects")) + " trackable objects, " +
          std::to_string(m_tags.size()) + " of them moving");
    // Everything is served and bound by now: this line tells whoever waits
    // for the site that it is ready.
    print("quorvane-site: serving http://127.0.0.1:" + std::to_string(m_http.port()) +
          "/api/private/, publishing on tcp://127.0.0.1:" + std::to_string(m_options.pub_port) +
          ", events from tcp://127.0.0.1:" + std::to_string(m_options.pull_port));
    m_start = std::chrono::steady_clock::now();
    m_signals.async_wait([this](const boost::system::error_code& error, int) {
        if (!error)
            stop();
    });
    if (m_options.duration.count() > 0) {
        m_end_timer.expires_at(m_start + m_options.duration);
        m_end_timer.async_wait([this](const boost::system::error_code& error) {
            if (!error)
                stop();
        });
    }
    schedule_positions();
    schedule_change();
    m_io_context.run();
    print("quorvane-site: stopped; " + std::to_string(m_enters) + " ENTER and " + std::to_string(m_leaves) +
          " LEAVE received");
}

void demo_site::serve(const site_objects::kind& k) {
    m_http.serve(k.path, m_objects.answer(k));
}

void demo_site::serve(const std::string& json_name) {
    for (const auto& k : site_objects::kinds())
        if (json_name == k.json_name)
            serve(k);
}

// The schedule stays aligned to the start, so a late wake-up does not slow
// the tags down.
void demo_site::schedule_positions() {
    m_position_timer.expires_at(m_start + m_position_period * m_ticks);
    m_position_timer.async_wait([this](const boost::system::error_code& error) {
        if (error)
            return;
        publish_positions();
        ++m_ticks;
        schedule_positions();
    });
}

void demo_site::publish_positions() {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(m_position_period * m_ticks);
    const auto now = libs::core::timestamp::current_time();
    for (const tag& t : m_tags) {
        const tag_route::point p = t.route.position_at(elapsed);
        m_publisher.publish_position(
            {t.route.trackable_object_uid(), t.sublocation_uid, t.mac_address, p.x, p.y, p.z, now});
        m_objects.set_position(t.route.trackable_object_uid(), p.x, p.y, p.z, t.sublocation_uid);
    }
    // The service reloads the lists now and then; they must show where the
    // tags are, or it would see them jump back.
    if (!m_tags.empty())
        serve("trackableObjects");
}

void demo_site::schedule_change() {
    if (m_changes.done())
        return;
    m_change_timer.expires_at(m_start + m_changes.due());
    m_change_timer.async_wait([this](const boost::system::error_code& error) {
        if (error)
            return;
        make_change();
        m_changes.advance();
        schedule_change();
    });
}

void demo_site::make_change() {
    const auto& change = m_changes.current();
    const auto now = libs::core::timestamp::current_time();
    const Json::Value& zone = m_objects.change_zone(change.zone_uid, change.fields, now);
    serve("zones");
    m_publisher.publish_zone_update(zone, now);
    print(m_printer.zone_change_line(change.zone_uid, change.fields, now));
}

void demo_site::on_event(boost::string_view message) {
    print(m_printer.event_line(message));
    if (m_options.raw)
        print("             " + std::string(message));
    const Json::Value event = event_of(message);
    if (!event.isObject())
        return;
    const Json::Value& action = event["action"];
    m_enters += action == "enter" ? 1 : 0;
    m_leaves += action == "leave" ? 1 : 0;
    // A real server learns who is in which zone from these events, and the
    // service reads it back when it reloads the zones.
    m_objects.record_event(event);
    serve("zones");
}

void demo_site::stop() {
    m_io_context.stop();
}

void demo_site::print(const std::string& line) {
    // Flushed line by line: the output is often a pipe or a file.
    m_out << line << std::endl;
}

}  // namespace kel::site
