#include "context/interned_text.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace kel::context {

namespace {

struct view_hash {
    std::size_t operator()(boost::string_view text) const {
        return std::hash<std::string_view>()(std::string_view(text.data(), text.size()));
    }
};

// Keyed by a view of each entry's own text, so that a lookup needs no
// string of its own: finding a text already held allocates nothing.
struct shared_pool {
    std::mutex mutex;
    std::unordered_map<boost::string_view, std::unique_ptr<interned_text::entry>, view_hash> texts;
};

// Never destroyed: holders in objects destroyed at exit, after any static
// pool would be gone, still find it.
shared_pool& the_pool() {
    static auto* pool = new shared_pool();
    return *pool;
}

}  // namespace

interned_text::interned_text(boost::string_view text) {
    if (text.empty())
        return;
    auto& pool = the_pool();
    const std::lock_guard<std::mutex> lock(pool.mutex);
    auto found = pool.texts.find(text);
    if (found == pool.texts.end()) {
        auto added = std::make_unique<entry>();
        added->text.assign(text.data(), text.size());
        const boost::string_view key(added->text);
        found = pool.texts.emplace(key, std::move(added)).first;
    }
    m_entry = found->second.get();
    ++m_entry->holders;
}

interned_text::interned_text(const interned_text& other) : m_entry(other.m_entry) {
    if (m_entry == nullptr)
        return;
    const std::lock_guard<std::mutex> lock(the_pool().mutex);
    ++m_entry->holders;
}

interned_text::interned_text(interned_text&& other) noexcept : m_entry(std::exchange(other.m_entry, nullptr)) {}

interned_text& interned_text::operator=(interned_text other) noexcept {
    std::swap(m_entry, other.m_entry);
    return *this;
}

interned_text::~interned_text() {
    release();
}

void interned_text::release() noexcept {
    if (m_entry == nullptr)
        return;
    auto& pool = the_pool();
    const std::lock_guard<std::mutex> lock(pool.mutex);
    if (--m_entry->holders == 0)
        pool.texts.erase(boost::string_view(m_entry->text));
    m_entry = nullptr;
}

const std::string& interned_text::get() const {
    static const std::string empty;
    return m_entry != nullptr ? m_entry->text : empty;
}

std::size_t interned_text::pool_size() {
    auto& pool = the_pool();
    const std::lock_guard<std::mutex> lock(pool.mutex);
    return pool.texts.size();
}

}  // namespace kel::context
