#pragma once

#include <cstdint>

namespace kel::test {

// A seeded random sequence that is the same on every platform, unlike the
// standard distributions: recorded streams depend on it.
class seeded {
public:
    explicit seeded(std::uint64_t seed) : m_state(seed) {}
    // Uniform enough in [0, n).
    int below(int n) {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<int>((m_state >> 33) % static_cast<std::uint64_t>(n));
    }
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }

private:
    std::uint64_t m_state;
};

}  // namespace kel::test
