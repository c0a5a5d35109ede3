#pragma once

#include <boost/utility/string_view.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>

namespace kel::fuzz {

// Splits a fuzz input into messages, one per line, and hands each to
// `deliver` with the topic its first character selects: '$' for "$pos" and
// '#' for "#pos" (that character dropped); any other line goes to
// `default_topic` whole. At most `max_messages` lines are used, so that one
// input stays quick to run.
void for_each_message(const std::uint8_t* data, std::size_t size, boost::string_view default_topic,
                      std::size_t max_messages,
                      const std::function<void(boost::string_view topic, boost::string_view payload)>& deliver);

}  // namespace kel::fuzz
