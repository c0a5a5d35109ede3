#include "parsers/pos_impl.h"

#include "parser_utils.h"

#include <core/exception.h>
#include <core/json.h>

namespace kel::libs::context_utils::parsers {

namespace pu = parser_utils;

namespace {

boost::string_view string_view_of(const Json::Value& object, const char* key, const char* name,
                                  const core::source_location& location) {
    const Json::Value& value = pu::member(object, key);
    if (!value.isString())
        throw core::exception(std::string("context-utils: pos: ") + name + " is not a string!", location);
    return core::json::as_string_view(value);
}

int number_of(const Json::Value& data, const char* key, const char* name, const core::source_location& location) {
    const Json::Value& value = pu::member(data, key);
    if (!pu::fits_int(value))
        throw core::exception(std::string("context-utils: pos: ") + name + " is not a number!", location);
    return pu::to_int(value);
}

}  // namespace

pos_impl::pos_impl(const Json::Value& message) : m_json_value(message) {}

boost::string_view pos_impl::get_trackable_uid() const {
    return string_view_of(m_json_value, "tk_uid", "tk_uid", KEL_SOURCE_LOCATION());
}

core::timestamp pos_impl::get_ts() const {
    return core::timestamp(string_view_of(m_json_value, "ts", "ts", KEL_SOURCE_LOCATION()));
}

int pos_impl::get_x() const {
    return number_of(data(), "x", "data.x", KEL_SOURCE_LOCATION());
}

int pos_impl::get_y() const {
    return number_of(data(), "y", "data.y", KEL_SOURCE_LOCATION());
}

int pos_impl::get_z() const {
    return number_of(data(), "z", "data.z", KEL_SOURCE_LOCATION());
}

boost::string_view pos_impl::get_type() const {
    return string_view_of(data(), "type", "data.type", KEL_SOURCE_LOCATION());
}

boost::string_view pos_impl::get_sublocation_uid() const {
    return string_view_of(data(), "sl_uid", "data.sl_uid", KEL_SOURCE_LOCATION());
}

unsigned int pos_impl::get_fom() const {
    const Json::Value& value = pu::member(m_json_value, "fom");
    if (!value.isUInt())
        throw core::exception("context-utils: pos: data.fom is not an uint!", KEL_SOURCE_LOCATION());
    return value.asUInt();
}

boost::string_view pos_impl::get_mac() const {
    return string_view_of(data(), "mac", "data.mac", KEL_SOURCE_LOCATION());
}

const Json::Value& pos_impl::data() const {
    return pu::member(m_json_value, "data");
}

}  // namespace kel::libs::context_utils::parsers
