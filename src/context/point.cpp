#include "context/point.h"

namespace kel::context {

point::point(std::int32_t x, std::int32_t y, std::int32_t z) : m_x(x), m_y(y), m_z(z) {}

bool point::operator==(const point& other) const {
    return m_x == other.m_x && m_y == other.m_y && m_z == other.m_z;
}

}  // namespace kel::context
