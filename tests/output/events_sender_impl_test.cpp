#include "events_sender_impl.h"

#include "output/context_builders.h"
#include "support/log_capture.h"

#include "core/logger.h"

#include <boost/asio/io_context.hpp>
#include <gtest/gtest.h>
#include <zmq.hpp>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using kel::context::point;
using kel::context::trackable_object;
using kel::context::trackable_object_in_zone;
using kel::libs::core::timestamp;
using kel::test::make_object;
using kel::test::make_record;
using optional_object = boost::optional<const trackable_object&>;

// Messages as they leave on a PUSH socket, read from a real PULL socket.
// Every event is one of "object" at m_ts.
class events_sender : public ::testing::Test {
protected:
    events_sender() {
        m_pull.bind("tcp://127.0.0.1:*");
        m_pull.set(zmq::sockopt::rcvtimeo, 10000);
        m_push.connect(m_pull.get(zmq::sockopt::last_endpoint));
    }

    std::unique_ptr<kel::events_sender_impl> make_sender(bool send_events_to_pubsub = true) {
        return std::make_unique<kel::events_sender_impl>(m_push, m_logger, send_events_to_pubsub, false);
    }
    void enter(kel::events_queue& queue, const std::string& zone, optional_object object = boost::none) {
        queue.send_enter(make_record("object", zone), object, m_ts);
    }
    void leave(kel::events_queue& queue, const std::string& zone, optional_object object = boost::none) {
        queue.send_leave(make_record("object", zone), object, m_ts);
    }

    // The whole message of an event; `coordinates` as `"x":1,"y":2,"z":3,`.
    static std::string text(const std::string& action, const std::string& zone, const std::string& coordinates = "") {
        return R"(#zone_event {"action":")" + action +
               R"(","ms":123,"obj_uid":"object","project_uid":"project","sublocation_uid":"sublocation","ts":86400,)" +
               coordinates + R"("zone_type_name":"polygon","zone_uid":")" + zone + "\"}";
    }
    std::string next_message() {
        zmq::message_t message;
        return m_pull.recv(message) ? message.to_string() : "<timeout>";
    }
    // Sends a marker from another sender: the next message read must be the
    // marker, or something was sent before it.
    void expect_nothing_sent() {
        enter(*make_sender()->create_queue(), "marker");
        EXPECT_EQ(next_message(), text("enter", "marker")) << "something was sent before the marker";
    }

    const timestamp m_ts{std::chrono::milliseconds(86400123)};
    boost::asio::io_context m_io_context;
    kel::push_socket m_push{m_io_context, zmq::socket_type::push};
    zmq::context_t m_zmq_context;
    zmq::socket_t m_pull{m_zmq_context, zmq::socket_type::pull};
    kel::libs::core::logger m_logger{"quorvane", "events"};
    kel::test::log_capture m_log{m_logger};
};

// The text is made when the event is queued, from the object as it is then.
TEST_F(events_sender, an_event_carries_the_position_else_the_last_position_else_no_coordinates) {
    auto object = make_object("object");
    {
        const auto sender = make_sender();
        auto queue = sender->create_queue();
        leave(*queue, "without object");
        leave(*queue, "never placed", object);
        object.set_last_position(point(7, 8, 9));
        leave(*queue, "lost", object);
        object.set_position(point(4, 5, 6));
        leave(*queue, "placed", object);
    }
    EXPECT_EQ(next_message(), text("leave", "without object"));
    EXPECT_EQ(next_message(), text("leave", "never placed"));
    EXPECT_EQ(next_message(), text("leave", "lost", R"("x":7,"y":8,"z":9,)"));
    EXPECT_EQ(next_message(), text("leave", "placed", R"("x":4,"y":5,"z":6,)"));
}

TEST_F(events_sender, a_queue_sends_when_released_every_enter_before_every_leave) {
    const auto sender = make_sender();
    auto queue = sender->create_queue();
    leave(*queue, "a");
    enter(*queue, "b");
    leave(*queue, "c");
    enter(*queue, "d");
    expect_nothing_sent();
    queue.reset();
    for (const auto& expected : {text("enter", "b"), text("enter", "d"), text("leave", "a"), text("leave", "c")})
        EXPECT_EQ(next_message(), expected);
}

TEST_F(events_sender, held_batches_go_out_whole_and_in_release_order) {
    const auto sender = make_sender();
    sender->hold();
    {
        auto queue = sender->create_queue();
        leave(*queue, "first-leave");
        enter(*queue, "a");
    }
    enter(*sender->create_queue(), "second-enter");
    expect_nothing_sent();
    sender->release_held();
    for (const auto& expected : {text("enter", "a"), text("leave", "first-leave"), text("enter", "second-enter")})
        EXPECT_EQ(next_message(), expected);
    // The queues' batches are reused: a later queue sends its own text only.
    leave(*sender->create_queue(), "b");
    EXPECT_EQ(next_message(), text("leave", "b"));
}

TEST_F(events_sender, signals_fire_at_decision_time_even_when_nothing_is_sent) {
    auto sender = make_sender(false);
    std::vector<std::string> seen;
    sender->do_on_enter_event([&](const trackable_object_in_zone& record, optional_object object, timestamp ts) {
        seen.push_back("enter " + record.get_zone_uid() + (object ? " with object" : "") +
                       (ts == m_ts ? " at ts" : ""));
    });
    sender->do_on_leave_event([&](const trackable_object_in_zone& record, optional_object, timestamp) {
        seen.push_back("leave " + record.get_zone_uid());
    });
    {
        const auto object = make_object("object");
        auto queue = sender->create_queue();
        enter(*queue, "a", object);
        leave(*queue, "b");
        EXPECT_EQ(seen, (std::vector<std::string>{"enter a with object at ts", "leave b"}));
    }
    expect_nothing_sent();
}

TEST_F(events_sender, a_throwing_slot_leaves_its_event_unqueued) {
    auto sender = make_sender();
    const auto connection = sender->do_on_leave_event(
        [](const trackable_object_in_zone&, optional_object, timestamp) { throw std::runtime_error("slot failed"); });
    EXPECT_THROW(leave(*sender->create_queue(), "zone"), std::runtime_error);
    expect_nothing_sent();
}

TEST_F(events_sender, a_failed_send_is_logged_and_the_rest_still_go_out) {
    // A PUSH socket connected nowhere has no queue: every send fails at once.
    kel::push_socket unconnected(m_io_context, zmq::socket_type::push);
    // Both failures read alike: counted one by one, not collapsed.
    m_logger.set_repeat_interval(std::chrono::steady_clock::duration::zero());
    {
        kel::events_sender_impl sender(unconnected, m_logger, true, false);
        auto queue = sender.create_queue();
        enter(*queue, "a");
        leave(*queue, "b");
    }
    const auto lines = m_log.take();
    EXPECT_EQ(kel::test::log_capture::count(lines, "Resource temporarily unavailable"), 2u);
    EXPECT_EQ(kel::test::log_capture::count(lines, "events_sender_impl.cpp:"), 2u);
}

}  // namespace
