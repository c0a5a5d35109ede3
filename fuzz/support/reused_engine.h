#pragma once

#include "support/engine_harness.h"

#include <boost/utility/string_view.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace kel::fuzz {

// Runs the messages of one fuzz input on the small site, loaded once and
// reset between inputs: every input starts from the same state, the one a
// harness has right after it was built, loaded and reset once, so that an
// input that fails replays alone. When a reset fails (see
// engine_harness::reset) the next input gets a new harness.
//
// With QUORVANE_FUZZ_CHECK_RESET set in the environment, each input runs a
// second time on a new harness, as it would replaying alone, and the
// process aborts when the outcomes differ: a reset that leaves something
// behind from earlier inputs shows there. The report holds both outcomes and
// the input before, after which the reset went wrong (replaying the input
// alone shows nothing: it needs what came before).
class reused_engine {
public:
    // Lines of an input go to `default_topic` unless marked (see
    // for_each_message); at most `max_messages` of them.
    reused_engine(boost::string_view default_topic, std::size_t max_messages);

    void run(const std::uint8_t* data, std::size_t size);

private:
    static std::unique_ptr<engine_harness> new_harness();
    void run_on(engine_harness& harness, const std::uint8_t* data, std::size_t size) const;

    std::string m_default_topic;
    std::size_t m_max_messages;
    bool m_check_reset;
    std::unique_ptr<engine_harness> m_harness;
    // Kept while checking the reset only.
    std::string m_previous_input;
};

}  // namespace kel::fuzz
