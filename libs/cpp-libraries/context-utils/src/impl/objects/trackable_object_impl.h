#pragma once

#include "context_utils/objects/trackable_object.h"

#include <json/json.h>

namespace kel::libs::context_utils::objects {

// The trackable object view over one object of a server answer. Holds
// references only: the answer must outlive the view.
class trackable_object_impl final : public trackable_object {
public:
    explicit trackable_object_impl(const Json::Value& object);

    std::string get_uid() const override;
    std::string get_project_uid() const override;
    boost::optional<const position&> get_position() const override;
    boost::optional<std::vector<std::string>> get_groups() const override;
    boost::optional<const node&> get_node() const override;
    core::timestamp get_updated_at() const override;

private:
    class position_impl final : public position {
    public:
        explicit position_impl(const Json::Value& json) : m_json_value(json) {}

        int get_x() const override;
        int get_y() const override;
        int get_z() const override;
        boost::optional<std::string> get_sl_id() const override;

    private:
        const Json::Value& m_json_value;
    };

    class node_impl final : public node {
    public:
        explicit node_impl(const Json::Value& json) : m_json_value(json) {}

        bool get_responsive() const override;

    private:
        const Json::Value& m_json_value;
    };

    const Json::Value& m_json_value;
    position_impl m_position;
    node_impl m_node;
};

}  // namespace kel::libs::context_utils::objects
