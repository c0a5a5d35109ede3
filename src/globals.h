#pragma once

#include <boost/utility/string_view.hpp>

#include <array>
#include <cstddef>
#include <cstdint>

namespace kel {

// The 16 bytes of a uid string as decoded by parse_uid: bytes 0 to 7 form
// element 0 and bytes 8 to 15 element 1, each in the machine's byte order.
using uid = std::array<std::uint64_t, 2>;

// Decodes a base64 uid text (standard and URL-safe alphabets alike) into 16
// bytes. Only the first 22 characters count, which carry the 128 bits of a
// uid; decoding stops at the first character outside both alphabets
// (padding included) and the bytes not reached stay zero. Never throws.
uid parse_uid(boost::string_view text);

// Whether `text` is a whole uid text: exactly 22 characters, all of them in
// the alphabets parse_uid reads.
bool is_uid_text(boost::string_view text);

// Hash of a uid for unordered containers: both words combined in order.
struct uid_hash {
    std::size_t operator()(const uid& value) const;
};

// Equality of two uids, word by word: std::array's operator== calls the
// library's memcmp, which costs more than two word compares.
struct uid_equal {
    bool operator()(const uid& a, const uid& b) const { return a[0] == b[0] && a[1] == b[1]; }
};

namespace context {

// Key of a trackable object in zone: the object's uid words followed by the
// zone's. Equality is element-wise.
using trackable_object_in_zone_uid = std::array<std::uint64_t, 4>;

// Hash of a trackable_object_in_zone_uid: the four words combined in order.
struct trackable_object_in_zone_uid_hash {
    std::size_t operator()(const trackable_object_in_zone_uid& value) const;
};

// Element-wise equality, written out: the map compares keys on every lookup
// and a library memcmp call costs more than four word compares.
struct trackable_object_in_zone_uid_equal {
    bool operator()(const trackable_object_in_zone_uid& a, const trackable_object_in_zone_uid& b) const {
        return a[0] == b[0] && a[1] == b[1] && a[2] == b[2] && a[3] == b[3];
    }
};

}  // namespace context
}  // namespace kel
