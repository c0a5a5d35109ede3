#pragma once

#include "context_utils/parsers/pos.h"

#include <json/json.h>

namespace kel::libs::context_utils::parsers {

// The position view over a whole "$pos" message. Holds a reference only.
class pos_impl final : public pos {
public:
    explicit pos_impl(const Json::Value& message);

    boost::string_view get_trackable_uid() const override;
    core::timestamp get_ts() const override;
    int get_x() const override;
    int get_y() const override;
    int get_z() const override;
    boost::string_view get_type() const override;
    boost::string_view get_sublocation_uid() const override;
    unsigned int get_fom() const override;
    boost::string_view get_mac() const override;

private:
    const Json::Value& data() const;

    const Json::Value& m_json_value;
};

}  // namespace kel::libs::context_utils::parsers
