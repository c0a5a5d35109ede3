#pragma once

#include <boost/utility/string_view.hpp>

#include <cstddef>
#include <string>

namespace kel::context {

// A text shared by every holder of the same text: the process keeps one
// copy per distinct text, counted, and drops it when its last holder goes.
// Membership records report a handful of texts (uids, project, sublocation,
// zone type) that hundreds of thousands of them share; held this way a
// record costs a pointer per text instead of a string and its heap block.
//
// Safe from any thread (one lock around the pool); a holder itself is a
// value like any other. The empty text holds nothing.
class interned_text {
public:
    interned_text() = default;
    explicit interned_text(boost::string_view text);
    interned_text(const interned_text& other);
    interned_text(interned_text&& other) noexcept;
    interned_text& operator=(interned_text other) noexcept;
    ~interned_text();

    const std::string& get() const;
    // Whether both hold the same text: equal texts share one copy, so this
    // compares no characters.
    bool same_text(const interned_text& other) const { return m_entry == other.m_entry; }

    // Distinct texts held now.
    static std::size_t pool_size();

    struct entry {
        std::string text;
        std::size_t holders = 0;
    };

private:
    void release() noexcept;

    entry* m_entry = nullptr;
};

}  // namespace kel::context
