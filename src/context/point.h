#pragma once

#include <cstdint>

namespace kel::context {

// A position in site units. Only x and y take part in zone geometry.
class point {
public:
    point(std::int32_t x, std::int32_t y, std::int32_t z);

    std::int32_t get_x() const { return m_x; }
    std::int32_t get_y() const { return m_y; }
    std::int32_t get_z() const { return m_z; }
    void set_x(std::int32_t x) { m_x = x; }
    void set_y(std::int32_t y) { m_y = y; }
    void set_z(std::int32_t z) { m_z = z; }

    // True when all three coordinates are equal.
    bool operator==(const point& other) const;

private:
    std::int32_t m_x;
    std::int32_t m_y;
    std::int32_t m_z;
};

}  // namespace kel::context
