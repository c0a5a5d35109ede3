#pragma once

#include "core/http/client.h"
#include "core/http/method.h"
#include "core/message_stream.h"
#include "core/source_location.h"
#include "core/timer.h"
#include "core/timers_manager.h"

#include <boost/asio/io_context.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kel::libs::core {

// The single-threaded event machinery: one io_context run on one thread.
// Every timer, socket, stream and client is bound to a loop, runs its
// callbacks on the thread that runs the loop, and must not outlive it.
class events_loop {
public:
    using ptr = std::unique_ptr<events_loop>;

    // Keeps run() from returning for lack of work while it exists.
    class work {
    public:
        using ptr = std::unique_ptr<work>;
        virtual ~work() = default;
    };

    // Stops the loop on SIGINT or SIGTERM for as long as it exists.
    class signals_handle {
    public:
        using ptr = std::unique_ptr<signals_handle>;
        virtual ~signals_handle() = default;
        // Whether the loop was stopped by a signal; safe from any thread.
        virtual bool signal_is_received() const = 0;
    };

    virtual ~events_loop() = default;

    // Runs handlers until the loop is stopped or runs out of work. An
    // exception from a handler leaves run(); calling run() again resumes.
    virtual void run() = 0;
    // Like run(), but logs an escaping exception at `location` and goes on.
    virtual void run_catch_exceptions(source_location location) = 0;
    // Thread-safe: run() returns once the current handler finishes.
    virtual void stop() = 0;
    virtual bool is_stopped() const = 0;
    // `on_signal`, when given, runs on the signal watcher's thread as a
    // signal arrives, before the loop is stopped: the place to abort what
    // blocks the loop's thread (a start-up request). What it uses must
    // outlive the handle.
    virtual signals_handle::ptr stop_on_signals(std::function<void()> on_signal = {}) = 0;

    virtual timers_manager& get_timers() = 0;
    virtual timer::ptr create_timer(timer::time_point due, const std::string& name, timer::callback callback,
                                    source_location location) = 0;
    virtual periodic_timer::ptr create_periodic_timer(std::chrono::nanoseconds period, const std::string& name,
                                                      timer::callback callback, source_location location) = 0;
    virtual periodic_timer::ptr create_periodic_timer(std::chrono::nanoseconds period, periodic_timer::execute_now,
                                                      const std::string& name, timer::callback callback,
                                                      source_location location) = 0;

    // A subscription stream on a ZeroMQ SUB socket connected to `address`,
    // with the system's topic convention (topics that start with a letter
    // travel behind a "#", payloads are cut at their first "{"), or the raw
    // stream without it. Throw boost::system::system_error when the address
    // cannot be connected. The stream must not outlive the loop.
    virtual message_stream::ptr create_zmq_message_stream(const std::string& address) = 0;
    virtual message_stream::ptr create_zmq_raw_message_stream(const std::string& address) = 0;

    // An HTTP client for the base URL `address` whose results arrive on this
    // loop; the short form has no disabled method and 10 worker threads. A
    // disabled method is never sent and answers 200 with an empty body. The
    // client must not outlive the loop.
    virtual http::client::ptr create_http_client(const std::string& address, std::chrono::seconds timeout) = 0;
    virtual http::client::ptr create_http_client(const std::string& address, std::chrono::seconds timeout,
                                                 const std::vector<http::method>& disabled_methods,
                                                 int threads) = 0;

    // Queues `f` to run later on the loop thread, never inline.
    virtual void post(std::function<void()> f, source_location location) = 0;
    virtual work::ptr create_work() = 0;

    virtual boost::asio::io_context& get_io_context() = 0;
    virtual const boost::asio::io_context& get_io_context() const = 0;
};

}  // namespace kel::libs::core
