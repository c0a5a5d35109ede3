#pragma once

#include <utility>
#include <vector>

namespace kel {

// A vector lent for the length of one call and given back, emptied, with its
// capacity: a call made over and over (every carrier move) allocates nothing
// once the vector has grown. A call nested in a lent one finds the spare
// gone and gets a fresh vector, so lending is always safe; only the
// outermost call's vector is kept.
template <typename T>
class scratch_vector {
public:
    class lease {
    public:
        explicit lease(scratch_vector& owner) : m_owner(owner) { m_items.swap(owner.m_spare); }
        ~lease() {
            m_items.clear();
            if (m_owner.m_spare.capacity() < m_items.capacity())
                m_owner.m_spare.swap(m_items);
        }
        lease(const lease&) = delete;
        lease& operator=(const lease&) = delete;

        std::vector<T>& operator*() { return m_items; }
        std::vector<T>* operator->() { return &m_items; }

    private:
        scratch_vector& m_owner;
        std::vector<T> m_items;
    };

    lease borrow() { return lease(*this); }

private:
    std::vector<T> m_spare;
};

}  // namespace kel
