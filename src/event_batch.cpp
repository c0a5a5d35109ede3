#include "event_batch.h"

#include <utility>

namespace kel {

namespace {

// A pass has two queues' worth of batches at most unless queues nest; a few
// more cover that without holding memory for a burst that will not return.
constexpr std::size_t kept_batches = 8;

}  // namespace

void event_batch::add(const event_fields& event, metrics::action action) {
    append_event_text(event, m_texts);
    m_entries.push_back({m_texts.size(), action});
}

void event_batch::append(const event_batch& other) {
    // Nearly every position's queue holds no event.
    if (other.empty())
        return;
    const auto offset = m_texts.size();
    m_texts += other.m_texts;
    for (const auto& e : other.m_entries)
        m_entries.push_back({offset + e.end, e.action});
}

void event_batch::clear() {
    m_texts.clear();
    m_entries.clear();
}

boost::string_view event_batch::text(std::size_t i) const {
    const auto begin = i == 0 ? 0 : m_entries[i - 1].end;
    return boost::string_view(m_texts.data() + begin, m_entries[i].end - begin);
}

std::unique_ptr<event_batch> event_batch_pool::acquire() {
    if (m_free.empty())
        return std::make_unique<event_batch>();
    auto batch = std::move(m_free.back());
    m_free.pop_back();
    return batch;
}

void event_batch_pool::release(std::unique_ptr<event_batch> batch) {
    if (!batch || m_free.size() >= kept_batches)
        return;
    batch->clear();
    m_free.push_back(std::move(batch));
}

}  // namespace kel
