#include "support/fake_message_stream.h"

#include <vector>

namespace kel::fuzz {

class fake_message_stream::fake_subscription : public subscription {
public:
    fake_subscription(std::weak_ptr<callbacks> registry, std::string topic, std::size_t id)
        : m_registry(std::move(registry)), m_topic(std::move(topic)), m_id(id) {}

    ~fake_subscription() override {
        const auto registry = m_registry.lock();
        if (!registry)
            return;
        const auto range = registry->equal_range(m_topic);
        for (auto entry = range.first; entry != range.second; ++entry) {
            if (entry->second.first == m_id) {
                registry->erase(entry);
                return;
            }
        }
    }

private:
    std::weak_ptr<callbacks> m_registry;
    std::string m_topic;
    std::size_t m_id;
};

fake_message_stream::fake_message_stream() : m_callbacks(std::make_shared<callbacks>()) {}

fake_message_stream::~fake_message_stream() = default;

libs::core::message_stream::subscription::ptr fake_message_stream::subscribe(boost::string_view topic, callback cb) {
    const std::size_t id = m_next_id++;
    // A multimap keeps equal keys in insertion order: subscription order.
    m_callbacks->emplace(topic.to_string(), std::make_pair(id, std::move(cb)));
    return std::make_unique<fake_subscription>(m_callbacks, topic.to_string(), id);
}

std::size_t fake_message_stream::deliver(boost::string_view topic, boost::string_view payload) const {
    // Copied first: a callback may end subscriptions.
    std::vector<callback> targets;
    const auto range = m_callbacks->equal_range(topic);
    for (auto entry = range.first; entry != range.second; ++entry)
        targets.push_back(entry->second.second);
    for (const auto& target : targets)
        target(payload);
    return targets.size();
}

}  // namespace kel::fuzz
