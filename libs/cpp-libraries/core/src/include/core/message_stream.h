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

    // Told when the stream begins and ends handing over a burst: the
    // messages already waiting when it woke up, up to a bound, delivered one
    // by one in arrival order in between. A message that arrives alone is a
    // burst of one. burst_ends() runs also when a callback throws, before
    // the exception leaves the stream, and must not throw itself.
    // When a burst stopped at its bound with more frames waiting, the next
    // burst of the same wake-up follows at once: burst_follows() stands for
    // the end of the one and the beginning of the other, and lets the
    // observer finish the ended burst's work while the next is handled. The
    // last burst of a wake-up always ends with burst_ends(), so nothing is
    // left unfinished when the stream returns to the events loop.
    class burst_observer {
    public:
        virtual ~burst_observer() = default;
        virtual void burst_begins() = 0;
        virtual void burst_follows() noexcept = 0;
        virtual void burst_ends() noexcept = 0;
    };

    virtual ~message_stream() = default;

    // Callbacks of one topic are called in the order they subscribed. A
    // subscription may outlive its stream; it then does nothing.
    virtual subscription::ptr subscribe(boost::string_view topic, callback cb) = 0;
    // One observer at most (null for none); it must outlive the stream or
    // be replaced before it dies.
    virtual void set_burst_observer(burst_observer* observer) = 0;
};

}  // namespace kel::libs::core
