#pragma once

#include "core/message_stream.h"

#include <boost/utility/string_view.hpp>

#include <map>
#include <memory>
#include <string>

namespace kel::fuzz {

// A message stream without sockets: deliver() hands a payload straight to
// the callbacks subscribed to its topic, as the ZeroMQ stream does on the
// loop thread. Lets a fuzz target drive the service's real subscribers at
// full speed.
class fake_message_stream : public libs::core::message_stream {
public:
    fake_message_stream();
    ~fake_message_stream() override;

    subscription::ptr subscribe(boost::string_view topic, callback cb) override;
    void set_burst_observer(burst_observer*) override {}
    // Calls every callback of `topic` in subscription order; returns how many
    // there were.
    std::size_t deliver(boost::string_view topic, boost::string_view payload) const;

private:
    class fake_subscription;
    using callbacks = std::multimap<std::string, std::pair<std::size_t, callback>, std::less<>>;

    // Shared with the subscriptions, which may outlive the stream.
    std::shared_ptr<callbacks> m_callbacks;
    std::size_t m_next_id = 0;
};

}  // namespace kel::fuzz
