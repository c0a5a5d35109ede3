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
using kel::libs::core::timestamp;
using kel::test::make_object;
using kel::test::make_record;

// Messages as they leave on a PUSH socket, read from a real PULL socket.
class events_sender : public ::testing::Test {
protected:
    events_sender() {
        m_pull.bind("tcp://127.0.0.1:*");
        m_pull.set(zmq::sockopt::rcvtimeo, 10000);
        m_push.connect(m_pull.get(zmq::sockopt::last_endpoint));
    }

    std::unique_ptr<kel::events_sender_impl> make_sender(bool send_events_to_pubsub, bool print_events_to_log = false,
                                                         kel::push_socket* socket = nullptr) {
        return std::make_unique<kel::events_sender_impl>(socket ? *socket : m_push, m_logger, send_events_to_pubsub,
                                                         print_events_to_log);
    }

    std::string next_message() { return receive(m_pull); }

    // Proves that nothing was sent before it: the next message read must be
    // this marker.
    void send_marker() {
        make_sender(true)->create_queue()->send_enter(m_marker, boost::none, timestamp(std::chrono::milliseconds(1)));
    }

    static std::string receive(zmq::socket_t& socket) {
        zmq::message_t message;
        if (!socket.recv(message))
            return "<timeout>";
        return message.to_string();
    }

    const std::string m_marker_text =
        R"(#zone_event {"action":"enter","ms":1,"obj_uid":"marker","project_uid":"project",)"
        R"("sublocation_uid":"sublocation","ts":0,"zone_type_name":"polygon","zone_uid":"marker"})";
    const kel::context::trackable_object_in_zone m_marker = make_record("marker", "marker");
    const timestamp m_ts{std::chrono::milliseconds(86400123)};
    boost::asio::io_context m_io_context;
    kel::push_socket m_push{m_io_context, zmq::socket_type::push};
    zmq::context_t m_zmq_context;
    zmq::socket_t m_pull{m_zmq_context, zmq::socket_type::pull};
    kel::libs::core::logger m_logger{"quorvane", "events"};
    kel::test::log_capture m_log{m_logger};
};

// --- message text ---------------------------------------------------------------

TEST_F(events_sender, a_leave_without_object_has_no_coordinates) {
    make_sender(true)->create_queue()->send_leave(make_record("object", "zone"), boost::none, m_ts);
    EXPECT_EQ(next_message(),
              R"(#zone_event {"action":"leave","ms":123,"obj_uid":"object","project_uid":"project",)"
              R"("sublocation_uid":"sublocation","ts":86400,"zone_type_name":"polygon","zone_uid":"zone"})");
}

TEST_F(events_sender, the_last_position_stands_in_for_a_missing_position) {
    auto object = make_object("object");
    object.set_last_position(point(7, 8, 9));
    const auto sender = make_sender(true);
    auto queue = sender->create_queue();
    queue->send_leave(make_record("object", "zone"), object, m_ts);
    object.set_position(point(4, 5, 6));
    queue->send_leave(make_record("object", "zone"), object, m_ts);
    queue.reset();
    EXPECT_NE(next_message().find(R"("x":7,"y":8,"z":9)"), std::string::npos);
    EXPECT_NE(next_message().find(R"("x":4,"y":5,"z":6)"), std::string::npos);
}

// --- batches --------------------------------------------------------------------

TEST_F(events_sender, every_enter_of_a_batch_leaves_before_every_leave) {
    const auto sender = make_sender(true);
    auto queue = sender->create_queue();
    queue->send_leave(make_record("object", "a"), boost::none, m_ts);
    queue->send_enter(make_record("object", "b"), boost::none, m_ts);
    queue->send_leave(make_record("object", "c"), boost::none, m_ts);
    queue->send_enter(make_record("object", "d"), boost::none, m_ts);
    queue.reset();
    std::vector<std::string> order;
    for (int i = 0; i < 4; ++i) {
        const auto message = next_message();
        const auto zone = message.find("\"zone_uid\":\"");
        order.push_back(message.substr(zone + 12, 1) + (message.find("\"enter\"") != std::string::npos ? "+" : "-"));
    }
    EXPECT_EQ(order, (std::vector<std::string>{"b+", "d+", "a-", "c-"}));
}

TEST_F(events_sender, events_go_out_only_when_the_queue_is_released) {
    const auto sender = make_sender(true);
    auto queue = sender->create_queue();
    queue->send_enter(make_record("object", "zone"), boost::none, m_ts);
    send_marker();
    EXPECT_EQ(next_message(), m_marker_text);
    queue.reset();
    EXPECT_NE(next_message().find("\"zone_uid\":\"zone\""), std::string::npos);
}

TEST_F(events_sender, held_batches_go_out_whole_and_in_release_order) {
    const auto sender = make_sender(true);
    const auto text = [&](const char* action, const char* zone) {
        return std::string(R"(#zone_event {"action":")") + action +
               R"(","ms":123,"obj_uid":"object","project_uid":"project","sublocation_uid":"sublocation",)" +
               R"("ts":86400,"zone_type_name":"polygon","zone_uid":")" + zone + "\"}";
    };
    sender->hold();
    {
        auto queue = sender->create_queue();
        queue->send_leave(make_record("object", "first-leave"), boost::none, m_ts);
        queue->send_enter(make_record("object", "a"), boost::none, m_ts);
    }
    sender->create_queue()->send_enter(make_record("object", "second-enter"), boost::none, m_ts);
    send_marker();
    EXPECT_EQ(next_message(), m_marker_text);
    sender->release_held();
    EXPECT_EQ(next_message(), text("enter", "a"));
    EXPECT_EQ(next_message(), text("leave", "first-leave"));
    EXPECT_EQ(next_message(), text("enter", "second-enter"));
    // The queues' batches are reused: a later queue sends its own text only.
    sender->create_queue()->send_leave(make_record("object", "b"), boost::none, m_ts);
    EXPECT_EQ(next_message(), text("leave", "b"));
}

// --- signals --------------------------------------------------------------------

TEST_F(events_sender, signals_fire_at_decision_time_even_when_nothing_is_sent) {
    auto sender = make_sender(false);
    std::vector<std::string> seen;
    sender->do_on_enter_event([&](const kel::context::trackable_object_in_zone& record,
                                  boost::optional<const kel::context::trackable_object&> object, timestamp ts) {
        seen.push_back("enter " + record.get_zone_uid() + (object ? " with object" : "") +
                       (ts == m_ts ? " at ts" : ""));
    });
    sender->do_on_leave_event([&](const kel::context::trackable_object_in_zone& record,
                                  boost::optional<const kel::context::trackable_object&>,
                                  timestamp) { seen.push_back("leave " + record.get_zone_uid()); });
    {
        const auto object = make_object("object");
        auto queue = sender->create_queue();
        queue->send_enter(make_record("object", "a"), object, m_ts);
        queue->send_leave(make_record("object", "b"), boost::none, m_ts);
        EXPECT_EQ(seen, (std::vector<std::string>{"enter a with object at ts", "leave b"}));
    }
    send_marker();
    EXPECT_EQ(next_message(), m_marker_text);
}

TEST_F(events_sender, a_throwing_slot_leaves_its_event_unqueued) {
    auto sender = make_sender(true);
    const auto connection = sender->do_on_leave_event(
        [](const kel::context::trackable_object_in_zone&, boost::optional<const kel::context::trackable_object&>,
           timestamp) { throw std::runtime_error("slot failed"); });
    {
        auto queue = sender->create_queue();
        EXPECT_THROW(queue->send_leave(make_record("object", "zone"), boost::none, m_ts), std::runtime_error);
    }
    send_marker();
    EXPECT_EQ(next_message(), m_marker_text);
}

// --- logging --------------------------------------------------------------------

TEST_F(events_sender, a_failed_send_is_logged_and_the_rest_still_go_out) {
    // A PUSH socket connected nowhere has no queue: every send fails at once.
    kel::push_socket unconnected(m_io_context, zmq::socket_type::push);
    // Both failures read alike: counted one by one, not collapsed.
    m_logger.set_repeat_interval(std::chrono::steady_clock::duration::zero());
    {
        const auto sender = make_sender(true, false, &unconnected);
        auto queue = sender->create_queue();
        queue->send_enter(make_record("object", "a"), boost::none, m_ts);
        queue->send_leave(make_record("object", "b"), boost::none, m_ts);
    }
    const auto lines = m_log.take();
    EXPECT_EQ(kel::test::log_capture::count(lines, "Resource temporarily unavailable"), 2u);
    EXPECT_EQ(kel::test::log_capture::count(lines, "events_sender_impl.cpp:"), 2u);
}

}  // namespace
