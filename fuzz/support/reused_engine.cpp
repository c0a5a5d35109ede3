#include "support/reused_engine.h"

#include "support/message_lines.h"
#include "support/uncounted.h"

#include "core/json.h"

#include <cstdio>
#include <cstdlib>

namespace kel::fuzz {

reused_engine::reused_engine(boost::string_view default_topic, std::size_t max_messages)
    : m_default_topic(default_topic),
      m_max_messages(max_messages),
      m_check_reset(std::getenv("QUORVANE_FUZZ_CHECK_RESET") != nullptr) {}

// Reset once before its first input too, so that a new harness and a reset
// one start alike.
std::unique_ptr<engine_harness> reused_engine::new_harness() {
    auto harness = std::make_unique<engine_harness>();
    harness->load();
    harness->check_invariants();
    harness->keep_as_start();
    if (!harness->reset()) {
        std::fprintf(stderr, "a new harness could not be reset\n");
        std::abort();
    }
    harness->check_invariants();
    return harness;
}

void reused_engine::run_on(engine_harness& harness, const std::uint8_t* data, std::size_t size) const {
    for_each_message(data, size, m_default_topic, m_max_messages,
                     [&](boost::string_view topic, boost::string_view payload) {
                         harness.deliver(topic, payload);
                         harness.check_invariants();
                     });
}

// The reset comes at the end of the input rather than before the next, so
// that what the input allocated is freed within it (libFuzzer counts an
// input that leaves more blocks than it found as a possible leak). Its
// branches are not counted: they are the same after every input.
void reused_engine::run(const std::uint8_t* data, std::size_t size) {
    if (!m_harness)
        m_harness = new_harness();
    run_on(*m_harness, data, size);
    if (m_check_reset) {
        const auto outcome = m_harness->outcome();
        const auto alone = new_harness();
        run_on(*alone, data, size);
        const auto outcome_alone = alone->outcome();
        if (outcome_alone != outcome) {
            // The reset at fault came after the input before this one, which
            // libFuzzer keeps nowhere: it goes into the report.
            std::fprintf(stderr,
                         "reset left state behind: after earlier inputs\n%s\nalone\n%s\n"
                         "the input before (%zu bytes):\n%s\n",
                         outcome.c_str(), outcome_alone.c_str(), m_previous_input.size(), m_previous_input.c_str());
            std::abort();
        }
        m_previous_input.assign(reinterpret_cast<const char*>(data), size);
    }
    bool reset = false;
    run_uncounted([&] {
        reset = m_harness->reset();
        // The thread's JSON reader keeps the errors of its last parse until
        // the next one: an input that ended on a rejected text would leave a
        // block more than it found, and libFuzzer runs such an input again
        // to look for a leak. A parse of a valid text lets them go.
        libs::core::json::try_parse("0");
    });
    if (!reset)
        m_harness.reset();
}

}  // namespace kel::fuzz
