#pragma once

#include <context_utils/flat_text_index.h>
#include <core/exception.h>
#include <core/timestamp.h>

#include <boost/optional.hpp>
#include <boost/range/adaptor/transformed.hpp>
#include <boost/utility/string_view.hpp>

#include <algorithm>
#include <cstddef>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kel::libs::context_utils {

using timestamp = core::timestamp;

// Ordered store of objects by uid that tells its observers of every change,
// each with the timestamp the caller gave (never interpreted here).
//
// A concrete T is stored by value; an abstract T through std::unique_ptr<T>
// (never null). Either way the repository owns its objects and files each
// under its own get_uid(), in ascending byte-wise uid order.
//
// Observers are notified in subscription order. An observer may read any
// store and write other stores; it must not remove, replace or re-add the
// object it is being told about from within a notification of add or
// update_or_add, nor subscribe or unsubscribe during a notification of the
// same repository.
//
// Lifetime: the repository must outlive every subscription handle and every
// writable handle taken from it, and an observer must outlive its
// subscription handle. Handles refer to the repository, so it can be neither
// copied nor moved. Single-threaded: no locks.
template <typename T>
class objects_repository {
public:
    static constexpr bool is_abstract_storage = std::is_abstract<T>::value;
    using storage_type = std::conditional_t<is_abstract_storage, std::unique_ptr<T>, T>;

    // Receives the changes of a repository. Each operation does nothing
    // unless overridden; an exception propagates to whoever made the change.
    class observer {
    public:
        virtual ~observer() = default;
        virtual void after_creating(const T&, timestamp) {}
        virtual void after_updating(const T&, timestamp) {}
        virtual void before_deleting(const T&, timestamp) {}
    };

private:
    template <typename Storage>
    static auto& object_in(Storage& storage) {
        if constexpr (is_abstract_storage)
            return *storage;
        else
            return storage;
    }

    class object_holder {
    public:
        explicit object_holder(storage_type object) : m_object(std::move(object)) {}

        T& get_object() { return object_in(m_object); }
        const T& get_object() const { return object_in(m_object); }

        storage_type m_object;
        // Writable handles alive on the object. A count rather than a flag,
        // so that a handle nested in another on the same object cannot let
        // a pending removal erase the entry under the outer one.
        std::size_t m_dispatching_events = 0;
        // A removal asked for while handles were alive, with its timestamp;
        // carried out when the last of them ends.
        boost::optional<timestamp> m_should_be_deleted;
    };

    using objects_map = std::map<std::string, object_holder, std::less<>>;
    using entry_iterator = typename objects_map::iterator;
    using observers_list = std::vector<std::reference_wrapper<observer>>;

public:
    // Keeps one observer subscribed and unsubscribes it on destruction.
    // Moving transfers the subscription; a moved-from handle does nothing.
    class subscription_handle {
    public:
        subscription_handle(subscription_handle&& other) noexcept
            : m_observers(other.m_observers), m_observer(other.m_observer) {
            other.m_observers = boost::none;
        }

        subscription_handle& operator=(subscription_handle&& other) noexcept {
            if (this != &other) {
                unsubscribe();
                m_observers = other.m_observers;
                m_observer = other.m_observer;
                other.m_observers = boost::none;
            }
            return *this;
        }

        ~subscription_handle() { unsubscribe(); }

    private:
        friend class objects_repository;

        subscription_handle(observers_list& observers, observer& subscriber)
            : m_observers(observers), m_observer(&subscriber) {}

        // Drops every occurrence of the observer, keeping the others' order.
        void unsubscribe() noexcept {
            if (!m_observers)
                return;
            observers_list& observers = *m_observers;
            observers.erase(std::remove_if(observers.begin(), observers.end(),
                                           [this](const observer& o) { return &o == m_observer; }),
                            observers.end());
            m_observers = boost::none;
        }

        boost::optional<observers_list&> m_observers;
        observer* m_observer;
    };

    // Scoped write access to one stored object. When the handle ends, every
    // observer gets after_updating (whether or not anything changed); then a
    // removal asked for meanwhile is carried out. The first exception of
    // either step is rethrown from the destructor once the object's write
    // state is settled, except during stack unwinding, when it is dropped.
    //
    // Empty when the uid was absent, and once moved from; an empty handle
    // does nothing when it ends and must not be dereferenced. It is returned
    // as is rather than in an optional, because boost and std optionals
    // destroy their content in a noexcept context, where the rethrow would
    // end the process.
    class writable_object {
    public:
        writable_object(writable_object&& other) noexcept
            : m_object(other.m_object),
              m_repository(other.m_repository),
              m_timestamp(other.m_timestamp),
              m_uncaught_exceptions(std::uncaught_exceptions()) {
            other.m_repository = boost::none;
        }
        writable_object& operator=(writable_object&&) = delete;

        ~writable_object() noexcept(false) {
            if (!m_repository)
                return;
            objects_repository& repository = *m_repository;
            m_repository = boost::none;
            repository.end_writing(m_object, m_timestamp, std::uncaught_exceptions() > m_uncaught_exceptions);
        }

        explicit operator bool() const { return static_cast<bool>(m_repository); }
        T* operator->() const { return &m_object->second.get_object(); }
        T& operator*() const { return m_object->second.get_object(); }

    private:
        friend class objects_repository;

        writable_object() : m_uncaught_exceptions(std::uncaught_exceptions()) {}
        writable_object(entry_iterator entry, objects_repository& repository, timestamp ts)
            : m_object(entry),
              m_repository(repository),
              m_timestamp(ts),
              m_uncaught_exceptions(std::uncaught_exceptions()) {}

        entry_iterator m_object;
        boost::optional<objects_repository&> m_repository;
        timestamp m_timestamp;
        // Exceptions in flight where the handle lives; more of them at its
        // end means it ends by stack unwinding.
        int m_uncaught_exceptions;
    };

    objects_repository() = default;
    objects_repository(const objects_repository&) = delete;
    objects_repository& operator=(const objects_repository&) = delete;

    boost::optional<const T&> try_get(boost::string_view uid) const {
        const object_holder* holder = find_holder(uid);
        if (!holder)
            return boost::none;
        return holder->get_object();
    }

    // Throws kel::libs::core::exception when the uid is absent.
    const T& get(boost::string_view uid) const {
        const object_holder* holder = find_holder(uid);
        if (!holder)
            KEL_THROW("Cannot get object with uid: " + uid.to_string());
        return holder->get_object();
    }

    bool is_exists(boost::string_view uid) const { return find_holder(uid) != nullptr; }
    std::size_t size() const { return m_objects.size(); }
    // Moves whenever an object may have been added, changed or removed, so
    // that a reader can tell its conclusions from the store still stand.
    std::uint64_t get_generation() const { return m_generation; }
    // Moves whenever an object may have been added, replaced or removed,
    // but not for a change through a writable handle: while it stays,
    // every object found by uid is still stored where it was found.
    std::uint64_t get_places_generation() const { return m_places_generation; }

    // Bidirectional range of const T& in ascending uid order. Valid until
    // the repository changes its set of objects.
    auto get_range() const { return boost::adaptors::transform(m_objects, stored_object{}); }

    // Calls `callback(const T&)` in ascending uid order until it returns
    // false; returns whether every object was visited.
    template <typename Callback>
    bool for_each(Callback callback) const {
        for (const auto& entry : m_objects) {
            if (!callback(entry.second.get_object()))
                return false;
        }
        return true;
    }

    // Const because the observers are no part of the stored state: a holder
    // of the read-only store may watch it.
    subscription_handle subscribe(observer& subscriber) const {
        m_observers.push_back(subscriber);
        return subscription_handle(m_observers, subscriber);
    }

    // Files the object under its uid and reports after_creating. When the
    // uid is already stored, the stored object stays, the given one is
    // discarded, and after_creating is still reported for the stored one.
    const T& add(storage_type object, timestamp ts) {
        ++m_generation;
        ++m_places_generation;
        std::string uid(object_in(object).get_uid());
        const auto added = m_objects.try_emplace(std::move(uid), std::move(object));
        if (added.second)
            m_by_uid.insert(added.first);
        const T& stored = added.first->second.get_object();
        notify(&observer::after_creating, stored, ts);
        return stored;
    }

    // Replaces the stored object of the same uid and reports after_updating,
    // even when nothing differs; an absent uid is added instead.
    void update_or_add(storage_type object, timestamp ts) {
        const auto entry = find(object_in(object).get_uid());
        if (entry == m_objects.end()) {
            add(std::move(object), ts);
            return;
        }
        ++m_generation;
        ++m_places_generation;
        entry->second.m_object = std::move(object);
        notify(&observer::after_updating, entry->second.get_object(), ts);
    }

    // Empty handle when the uid is absent; see writable_object.
    writable_object try_get(boost::string_view uid, timestamp ts) {
        const auto entry = find(uid);
        if (entry == m_objects.end())
            return writable_object();
        ++entry->second.m_dispatching_events;
        return writable_object(entry, *this, ts);
    }

    // Reports before_deleting and erases the object. While writable handles
    // on it are alive, the removal waits for the last of them and then uses
    // the timestamp of the latest request. An absent uid is no error.
    void remove(const std::string& uid, timestamp ts) {
        const auto entry = find(uid);
        if (entry == m_objects.end())
            return;
        if (entry->second.m_dispatching_events != 0) {
            entry->second.m_should_be_deleted = ts;
            return;
        }
        erase(entry, ts);
    }

private:
    struct stored_object {
        const T& operator()(const typename objects_map::value_type& entry) const { return entry.second.get_object(); }
    };

    // The object stays stored when an observer throws.
    void erase(entry_iterator entry, timestamp ts) {
        notify(&observer::before_deleting, entry->second.get_object(), ts);
        ++m_generation;
        ++m_places_generation;
        m_by_uid.erase(entry->first);
        m_objects.erase(entry);
    }

    // The uid order of the map is what iteration needs; a lookup by uid
    // goes through the hash index instead of a dozen text comparisons.
    entry_iterator find(boost::string_view uid) {
        const entry_iterator* found = m_by_uid.find(std::string_view(uid.data(), uid.size()));
        return found ? *found : m_objects.end();
    }
    // Null when the uid is absent.
    const object_holder* find_holder(boost::string_view uid) const {
        const entry_iterator* found = m_by_uid.find(std::string_view(uid.data(), uid.size()));
        return found ? &(*found)->second : nullptr;
    }

    void end_writing(entry_iterator entry, timestamp ts, bool unwinding) {
        object_holder& holder = entry->second;
        ++m_generation;
        std::exception_ptr failure = capture([&] { notify(&observer::after_updating, holder.get_object(), ts); });
        --holder.m_dispatching_events;
        if (holder.m_dispatching_events == 0 && holder.m_should_be_deleted) {
            const timestamp removal_ts = *holder.m_should_be_deleted;
            holder.m_should_be_deleted = boost::none;
            std::exception_ptr removal_failure = capture([&] { erase(entry, removal_ts); });
            if (!failure)
                failure = removal_failure;
        }
        if (failure && !unwinding)
            std::rethrow_exception(failure);
    }

    template <typename Action>
    static std::exception_ptr capture(Action action) noexcept {
        try {
            action();
        } catch (...) {
            return std::current_exception();
        }
        return nullptr;
    }

    void notify(void (observer::*event)(const T&, timestamp), const T& object, timestamp ts) const {
        // By index, so that an observer that subscribes anyway cannot leave
        // this loop with a dangling iterator.
        for (std::size_t i = 0; i < m_observers.size(); ++i)
            (m_observers[i].get().*event)(object, ts);
    }

    struct uid_of_entry {
        const std::string& operator()(entry_iterator entry) const { return entry->first; }
    };

    objects_map m_objects;
    // The entries of m_objects by uid; their nodes never move.
    flat_text_index<entry_iterator, uid_of_entry> m_by_uid;
    mutable observers_list m_observers;
    std::uint64_t m_generation = 0;
    std::uint64_t m_places_generation = 0;
};

}  // namespace kel::libs::context_utils
