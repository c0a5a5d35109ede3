#pragma once

#include <context_utils/objects_repository.h>

#include <boost/optional.hpp>
#include <boost/utility/string_view.hpp>

#include <cstdint>

namespace kel::context {

// One lookup by uid in a repository, remembered while no object is added,
// replaced or removed (its places generation unchanged): a caller that asks
// for the same uid again and again, with only positions and other changes
// through writable handles in between, pays for one hash lookup of the uid
// text. Its answer, found or not, is then the
// repository's own. forget() before asking for another uid.
template <typename T>
class remembered_lookup {
public:
    using repository = libs::context_utils::objects_repository<T>;

    boost::optional<const T&> find(const repository& store, boost::string_view uid) const {
        if (m_store != &store || m_generation != store.get_places_generation()) {
            const auto found = store.try_get(uid);
            m_found = found ? &*found : nullptr;
            m_store = &store;
            m_generation = store.get_places_generation();
        }
        return m_found ? boost::optional<const T&>(*m_found) : boost::none;
    }

    void forget() { m_store = nullptr; }

private:
    mutable const repository* m_store = nullptr;
    mutable std::uint64_t m_generation = 0;
    mutable const T* m_found = nullptr;
};

}  // namespace kel::context
