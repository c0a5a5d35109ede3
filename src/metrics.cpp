#include "metrics.h"

#include <utility>

namespace kel {

metrics metrics::s_counts;

metrics::pending metrics::take_pending() {
    return std::exchange(m_pending, pending{});
}

}  // namespace kel
