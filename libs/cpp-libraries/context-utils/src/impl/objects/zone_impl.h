#pragma once

#include "context_utils/objects/zone.h"

#include <json/json.h>

namespace kel::libs::context_utils::objects {

// The zone view over one object of a server answer. Holds references only:
// the answer must outlive the view.
class zone_impl final : public zone {
public:
    explicit zone_impl(const Json::Value& object);

    std::string get_uid() const override;
    std::string get_project_uid() const override;
    boost::optional<std::string> get_sublocation_uid() const override;
    boost::optional<std::string> get_trackable_object_uid() const override;
    bool get_active() const override;
    std::string get_shape() const override;
    std::string get_zone_type_name() const override;
    bool get_default_allowed() const override;
    std::vector<std::string> get_zone_exceptions() const override;
    std::vector<std::string> get_zone_exceptions_groups() const override;
    boost::optional<const zone_geometry&> get_zone_geometry() const override;
    bool for_each_trackable_in_zone(const trackable_in_zone_callback& callback) const override;
    core::timestamp get_updated_at() const override;

private:
    class zone_geometry_impl final : public zone_geometry {
    public:
        explicit zone_geometry_impl(const Json::Value& geometry) : m_json_value(geometry) {}

        boost::optional<int> get_radius() const override;
        bool for_each_point(const point_callback& callback) const override;

    private:
        const Json::Value& m_json_value;
    };

    const Json::Value& m_json_value;
    zone_geometry_impl m_zone_geometry;
};

}  // namespace kel::libs::context_utils::objects
