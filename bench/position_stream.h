#pragma once

#include "site_lists.h"
#include "site_publisher.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace kel::bench {

// The seeded stream of "$pos" frames of the load generator. Position number
// `seq` (0, 1, 2, ...) is a random-walk step of a tag drawn at random from
// the site, except every probe_every-th one, which moves the probe tag into
// its room or out of it, alternately, so that each probe makes the service
// send exactly one event.
//
// Every position carries its own time, base_ms + seq milliseconds, which the
// service copies into the events it decides: an event's time names the
// position that caused it. The stream depends on the seed alone, not on
// when frames are asked for, so two runs with one seed publish the same
// positions in the same order.
//
// Keeps a copy of the tags; frames must be asked for in order, each once.
class position_stream {
public:
    static constexpr std::int64_t base_ms = 1800000000000;  // 2027-01-15T08:00:00Z

    // Which tags walk: every tag, only those that carry nothing, or only
    // the carriers, whose moves take their circles along.
    enum class walkers { all, ordinary, carriers };

    position_stream(const site_lists& site, std::uint32_t seed, int probe_every, walkers who = walkers::all);

    // The next position of the stream and its frame, exactly as
    // site::site_publisher::position_frame writes it (only faster).
    const site::site_publisher::position& next();
    const std::string& frame() const { return m_frame; }
    // Number of the position that next() returns next.
    std::int64_t next_seq() const { return m_seq; }

    bool is_probe(std::int64_t seq) const { return seq % m_probe_every == m_probe_every - 1; }
    const std::string& probe_uid() const { return m_probe.uid; }
    int probe_every() const { return m_probe_every; }
    // The position number whose time is `ms`, or -1 for a time no position
    // of the stream has.
    std::int64_t seq_of(std::int64_t ms) const;

    // The frame text of `p`, written without a JSON library.
    static void render(const site::site_publisher::position& p, std::string& out);

private:
    void move_probe(std::int64_t seq);
    void move_tag();

    std::vector<site_lists::tag> m_tags;
    site_lists::tag m_probe;
    int m_extent;
    int m_probe_every;
    std::mt19937 m_random;
    std::uniform_int_distribution<std::size_t> m_pick;
    std::uniform_int_distribution<int> m_walk{-300, 300};
    std::int64_t m_seq = 0;
    site::site_publisher::position m_position;
    std::string m_frame;
};

}  // namespace kel::bench
