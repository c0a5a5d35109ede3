#include "parsers/pos_reader.h"

#include "parsers/pos_impl.h"

#include "core/exception.h"
#include "core/json.h"

#include <cstring>
#include <limits>

namespace kel::libs::context_utils::parsers {

namespace {

// Deeper documents than this are never positions; jsoncpp's own depth
// limit then decides.
constexpr std::size_t max_depth = 8;

boost::string_view to_view(std::string_view text) {
    return boost::string_view(text.data(), text.size());
}

// An integer token that jsoncpp reads as an int of the same value. Reals
// (which jsoncpp truncates) and larger integers are left to it.
bool read_int(simdjson::dom::element value, int& out) {
    if (value.type() != simdjson::dom::element_type::INT64)
        return false;
    const std::int64_t number = value.get_int64().value_unsafe();
    if (number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max())
        return false;
    out = static_cast<int>(number);
    return true;
}

// Strings, integers, and (under "data" only) an object: the plain shape.
bool plain_scalar(simdjson::dom::element value) {
    const auto type = value.type();
    return type == simdjson::dom::element_type::STRING || type == simdjson::dom::element_type::INT64 ||
           type == simdjson::dom::element_type::UINT64;
}

}  // namespace

pos_reader::pos_reader() {
    // Sized for positions; the parser grows for a larger message.
    if (m_parser.allocate(4096, max_depth) != simdjson::SUCCESS)
        throw std::bad_alloc();
}

pos* pos_reader::read(boost::string_view message) {
    // What comes before the object (a byte-order mark, say) is jsoncpp's to
    // judge.
    if (message.empty() || message.front() != '{')
        return nullptr;
    // Escapes are decoded by each library its own way on malformed input;
    // no position needs one.
    if (std::memchr(message.data(), '\\', message.size()) != nullptr)
        return nullptr;
    // simdjson reads up to SIMDJSON_PADDING bytes past the end.
    if (m_padded.size() < message.size() + simdjson::SIMDJSON_PADDING)
        m_padded.resize(message.size() + simdjson::SIMDJSON_PADDING);
    std::memcpy(m_padded.data(), message.data(), message.size());
    simdjson::dom::element root;
    if (m_parser.parse(m_padded.data(), message.size(), false).get(root) != simdjson::SUCCESS)
        return nullptr;
    simdjson::dom::object object;
    if (root.get_object().get(object) != simdjson::SUCCESS)
        return nullptr;
    m_fields.reset(message);
    if (!read_root(object))
        return nullptr;
    return &m_fields;
}

bool pos_reader::read_root(simdjson::dom::object root) {
    bool has_uid = false;
    bool has_ts = false;
    simdjson::dom::object data;
    bool has_data = false;
    for (const auto field : root) {
        if (field.key == "data") {
            if (field.value.get_object().get(data) != simdjson::SUCCESS)
                return false;
            has_data = true;
            continue;
        }
        if (!plain_scalar(field.value))
            return false;
        // A later duplicate of a wanted key replaces the earlier one, and
        // must be of its kind too.
        if (field.key == "tk_uid")
            has_uid = field.value.is_string();
        else if (field.key == "ts")
            has_ts = field.value.is_string();
        if (field.key == "tk_uid" && has_uid)
            m_fields.m_trackable_uid = to_view(field.value.get_string().value_unsafe());
        else if (field.key == "ts" && has_ts)
            m_fields.m_ts = to_view(field.value.get_string().value_unsafe());
    }
    return has_uid && has_ts && has_data && read_data(data);
}

bool pos_reader::read_data(simdjson::dom::object data) {
    bool has_x = false, has_y = false, has_z = false, has_sublocation = false;
    for (const auto field : data) {
        if (!plain_scalar(field.value))
            return false;
        if (field.key == "x")
            has_x = read_int(field.value, m_fields.m_x);
        else if (field.key == "y")
            has_y = read_int(field.value, m_fields.m_y);
        else if (field.key == "z")
            has_z = read_int(field.value, m_fields.m_z);
        else if (field.key == "sl_uid") {
            has_sublocation = field.value.is_string();
            if (has_sublocation)
                m_fields.m_sublocation_uid = to_view(field.value.get_string().value_unsafe());
        }
    }
    return has_x && has_y && has_z && has_sublocation;
}

core::timestamp pos_reader::fields::get_ts() const {
    return core::timestamp(m_ts);
}

boost::string_view pos_reader::fields::get_type() const {
    return by_jsoncpp().get_type();
}

unsigned int pos_reader::fields::get_fom() const {
    return by_jsoncpp().get_fom();
}

boost::string_view pos_reader::fields::get_mac() const {
    return by_jsoncpp().get_mac();
}

void pos_reader::fields::reset(boost::string_view message) {
    m_message = message;
    m_trackable_uid = m_ts = m_sublocation_uid = boost::string_view();
    m_x = m_y = m_z = 0;
    if (m_view) {
        m_view.reset();
        m_document = Json::Value();
    }
}

const pos& pos_reader::fields::by_jsoncpp() const {
    if (!m_view) {
        auto parsed = core::json::try_parse(m_message);
        m_document = std::move(parsed.result);
        m_view = std::make_unique<pos_impl>(m_document);
    }
    return *m_view;
}

}  // namespace kel::libs::context_utils::parsers
