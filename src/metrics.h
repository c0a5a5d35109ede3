#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace kel {

// What the service counts for its metrics endpoint: messages in, refused
// messages by reason, events out, Redis traffic, re-synchronizations, and how
// long the loop takes per burst of messages.
//
// There is one set per process, counts(). Only the events loop thread counts
// into it and reads it, so counting is a plain increment: no lock and no
// atomic operation on the position path. metrics_exporter, when the
// configuration asks for an endpoint, takes the pending counts from a timer
// of the same loop and hands them to the registry that the endpoint's
// threads read; without it the counts are never read. Timing (two clock
// reads per burst and per round trip) is done only once the exporter asked
// for it.
class metrics {
public:
    using clock = std::chrono::steady_clock;

    enum class topic : std::size_t { notify, pos, old_pos };
    enum class rejection : std::size_t { not_json, field_error, unknown_object };
    enum class action : std::size_t { enter, leave };
    static constexpr std::size_t topics = 3;
    static constexpr std::size_t rejections = 3;
    static constexpr std::size_t actions = 2;

    // Upper bounds, in nanoseconds, of the buckets of every duration
    // histogram; one more bucket takes what is longer.
    static constexpr std::size_t bounds = 14;
    static constexpr std::array<std::int64_t, bounds> bucket_bounds{
        10'000,     50'000,     100'000,     250'000,     500'000,     1'000'000,   2'500'000,
        5'000'000, 10'000'000, 25'000'000, 50'000'000, 100'000'000, 250'000'000, 1'000'000'000};

    // Observations not yet handed to the registry.
    struct histogram {
        std::array<std::uint64_t, bounds + 1> buckets{};
        double sum_seconds = 0;

        void observe(clock::duration took) {
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(took).count();
            std::size_t bucket = 0;
            while (bucket < bounds && ns > bucket_bounds[bucket])
                ++bucket;
            ++buckets[bucket];
            sum_seconds += std::chrono::duration<double>(took).count();
        }
    };

    // Counts not yet handed to the registry.
    struct pending {
        std::array<std::uint64_t, topics> received{};
        std::array<std::array<std::uint64_t, rejections>, topics> rejected{};
        std::array<std::uint64_t, actions> events_sent{};
        std::uint64_t send_failures = 0;
        std::uint64_t redis_commands = 0;
        std::uint64_t redis_round_trips = 0;
        std::uint64_t redis_errors = 0;
        std::uint64_t redis_reconnects = 0;
        histogram redis_round_trip;
        std::uint64_t resyncs = 0;
        std::uint64_t resync_failures = 0;
        histogram burst;
    };

    static metrics& counts() { return s_counts; }

    void received(topic t) { ++m_pending.received[index(t)]; }
    void rejected(topic t, rejection r) { ++m_pending.rejected[index(t)][index(r)]; }
    void event_sent(action a) { ++m_pending.events_sent[index(a)]; }
    void send_failed() { ++m_pending.send_failures; }
    // The start of a timed piece of work: the clock is read only while the
    // exporter asked for timing.
    clock::time_point started() const { return m_timing ? clock::now() : clock::time_point(); }
    // One round trip to Redis that carried `commands` commands, begun at
    // started().
    void redis_round_trip(std::size_t commands, clock::time_point started) {
        m_pending.redis_commands += commands;
        ++m_pending.redis_round_trips;
        if (m_timing)
            m_pending.redis_round_trip.observe(clock::now() - started);
    }
    // A command that got an error reply or no answer at all.
    void redis_error() { ++m_pending.redis_errors; }
    void redis_reconnect() { ++m_pending.redis_reconnects; }
    void resync_done() { ++m_pending.resyncs; }
    void resync_failed() { ++m_pending.resync_failures; }

    // A burst of messages handled by the loop, from its first message to
    // its events sent, begun at started().
    void burst_handled(clock::time_point started) {
        if (m_timing)
            m_pending.burst.observe(clock::now() - started);
    }

    // For the exporter: switches the timing of handling on, and takes what
    // was counted since the last call.
    void enable_timing() { m_timing = true; }
    pending take_pending();

private:
    template <typename E>
    static constexpr std::size_t index(E e) {
        return static_cast<std::size_t>(e);
    }

    static metrics s_counts;

    pending m_pending;
    bool m_timing = false;
};

}  // namespace kel
