#pragma once

namespace kel::libs::core {

// Base of value classes that are moved into their stores and never copied.
class only_movable {
public:
    only_movable() = default;
    only_movable(only_movable&&) = default;
    only_movable& operator=(only_movable&&) = default;
    only_movable(const only_movable&) = delete;
    only_movable& operator=(const only_movable&) = delete;

protected:
    ~only_movable() = default;
};

}  // namespace kel::libs::core
