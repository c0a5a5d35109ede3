#pragma once

#include "event_text.h"
#include "metrics.h"

#include <boost/utility/string_view.hpp>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace kel {

// The messages of a run of events, back to back in one buffer, each with
// its action. clear() keeps the capacity of the buffer and of the list, so
// a batch that is used again allocates only while it grows past the longest
// run it held; in steady state, writing an event allocates nothing.
// A text stays valid until the next add, append or clear.
class event_batch {
public:
    // Appends the message of `event`, as append_event_text writes it.
    void add(const event_fields& event, metrics::action action);
    // Appends a copy of every message of `other`, in order.
    void append(const event_batch& other);
    void clear();

    std::size_t size() const { return m_entries.size(); }
    bool empty() const { return m_entries.empty(); }
    boost::string_view text(std::size_t i) const;
    metrics::action action(std::size_t i) const { return m_entries[i].action; }

private:
    struct entry {
        std::size_t end;
        metrics::action action;
    };

    std::string m_texts;
    std::vector<entry> m_entries;
};

// Empty batches kept for reuse by their one owner (the events sender), so
// that the batches of the queue of every decision pass keep their
// capacity from one pass to the next. Not thread-safe.
class event_batch_pool {
public:
    // A kept batch when there is one, else a new one; always empty.
    std::unique_ptr<event_batch> acquire();
    // Clears the batch and keeps it, up to a few; null is ignored.
    void release(std::unique_ptr<event_batch> batch);

private:
    std::vector<std::unique_ptr<event_batch>> m_free;
};

}  // namespace kel
