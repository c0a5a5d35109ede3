#include "core/json.h"

#include "core/exception.h"

#include <memory>
#include <sstream>

namespace kel::libs::core::json {

namespace {

// Building a reader is not free and every incoming message is parsed, so each
// thread keeps one; the settings are those of a fresh builder.
Json::CharReader& thread_reader() {
    thread_local std::unique_ptr<Json::CharReader> reader = [] {
        Json::CharReaderBuilder builder;
        builder["collectComments"] = false;
        return std::unique_ptr<Json::CharReader>(builder.newCharReader());
    }();
    return *reader;
}

}  // namespace

parse_result try_parse(boost::string_view text) {
    parse_result r;
    r.ok = thread_reader().parse(text.data(), text.data() + text.size(), &r.result, &r.error);
    if (r.ok)
        r.error.clear();
    else
        r.result = Json::Value();
    return r;
}

Json::Value parse(boost::string_view text, source_location location) {
    auto r = try_parse(text);
    if (!r.ok)
        throw exception("parse error: " + r.error, location);
    return std::move(r.result);
}

std::string to_string(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["commentStyle"] = "None";
    builder["indentation"] = "";
    return Json::writeString(builder, value);
}

boost::string_view as_string_view(const Json::Value& value) {
    const char* begin = nullptr;
    const char* end = nullptr;
    if (!value.getString(&begin, &end))
        return {};
    return boost::string_view(begin, static_cast<std::size_t>(end - begin));
}

}  // namespace kel::libs::core::json
