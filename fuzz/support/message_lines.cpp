#include "support/message_lines.h"

namespace kel::fuzz {

void for_each_message(const std::uint8_t* data, std::size_t size, boost::string_view default_topic,
                      std::size_t max_messages,
                      const std::function<void(boost::string_view topic, boost::string_view payload)>& deliver) {
    boost::string_view rest(reinterpret_cast<const char*>(data), size);
    for (std::size_t count = 0; !rest.empty() && count < max_messages; ++count) {
        const auto end = rest.find('\n');
        boost::string_view line = rest.substr(0, end);
        rest = end == boost::string_view::npos ? boost::string_view() : rest.substr(end + 1);
        if (!line.empty() && line.front() == '$')
            deliver("$pos", line.substr(1));
        else if (!line.empty() && line.front() == '#')
            deliver("#pos", line.substr(1));
        else
            deliver(default_topic, line);
    }
}

}  // namespace kel::fuzz
