#pragma once

#include <boost/utility/string_view.hpp>

#include <functional>
#include <memory>

namespace kel::libs::core {

// Topic-based stream of incoming messages. Callbacks run on the events loop
// thread with a view of the message that is valid only during the call: a
// callback copies what it keeps. Subscribing and destroying subscriptions
// happen on that thread too.
class message_stream {
public:
    using ptr = std::unique_ptr<message_stream>;
    using callback = std::function<void(boost::string_view)>;

    // Keeps one callback registered; destroying it stops the callback at once,
    // also when it happens during a delivery.
    class subscription {
    public:
        using ptr = std::unique_ptr<subscription>;
        virtual ~subscription() = default;
    };

    virtual ~message_stream() = default;

    // Callbacks of one topic are called in the order they subscribed. A
    // subscription may outlive its stream; it then does nothing.
    virtual subscription::ptr subscribe(boost::string_view topic, callback cb) = 0;
};

}  // namespace kel::libs::core
