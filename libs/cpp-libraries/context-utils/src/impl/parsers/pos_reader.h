#pragma once

#include "context_utils/parsers/pos.h"

#include <json/json.h>
#include <simdjson.h>

#include <boost/utility/string_view.hpp>

#include <memory>
#include <vector>

namespace kel::libs::context_utils::parsers {

// Reads the fields of a "$pos" message that the service reads without
// building a jsoncpp document, and answers exactly as the jsoncpp view
// (pos_impl) over the same text would.
//
// That holds by construction: read() accepts only messages of the plain
// shape a positioning engine sends, fully validated: one object whose
// members are strings without escapes, integers, and a "data" object of the
// same, with every field the service reads present and of its kind (the
// last of duplicate keys counting, as in jsoncpp). Everything else (comments,
// text after the object, escapes, reals, a missing or mistyped field, any
// input simdjson refuses) gets nullptr, and the caller takes the jsoncpp
// path, whose values and error texts are the reference.
//
// Not thread-safe; one reader per thread, reused: the parser and the padded
// copy of the message keep their buffers from message to message.
class pos_reader {
public:
    pos_reader();
    pos_reader(const pos_reader&) = delete;
    pos_reader& operator=(const pos_reader&) = delete;

    // The fields of `message`, valid until the next read(), or nullptr.
    // The view's getters that the service does not read (type, fom, mac)
    // answer through the jsoncpp view of the same text.
    pos* read(boost::string_view message);

private:
    class fields final : public pos {
    public:
        boost::string_view get_trackable_uid() const override { return m_trackable_uid; }
        core::timestamp get_ts() const override;
        int get_x() const override { return m_x; }
        int get_y() const override { return m_y; }
        int get_z() const override { return m_z; }
        boost::string_view get_type() const override;
        boost::string_view get_sublocation_uid() const override { return m_sublocation_uid; }
        unsigned int get_fom() const override;
        boost::string_view get_mac() const override;

        boost::string_view m_message;
        boost::string_view m_trackable_uid;
        boost::string_view m_ts;
        boost::string_view m_sublocation_uid;
        int m_x = 0;
        int m_y = 0;
        int m_z = 0;

        // For the next message of `message`: the fields read from simdjson
        // are set again by the reader; the jsoncpp view of the rare fields,
        // made only when asked for, is dropped only when it was made, since
        // building an empty document per position was a tenth of reading it.
        void reset(boost::string_view message);

    private:
        const pos& by_jsoncpp() const;
        mutable Json::Value m_document;
        mutable std::unique_ptr<pos> m_view;
    };

    bool read_root(simdjson::dom::object root);
    bool read_data(simdjson::dom::object data);

    simdjson::dom::parser m_parser;
    std::vector<char> m_padded;
    fields m_fields;
};

}  // namespace kel::libs::context_utils::parsers
