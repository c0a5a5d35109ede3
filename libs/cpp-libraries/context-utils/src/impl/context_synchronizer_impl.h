#pragma once

#include "context_initializer.h"
#include "context_updater.h"
#include "parsers/pos_reader.h"

#include "context_utils/context_synchronizer.h"

#include <chrono>

namespace kel::libs::context_utils {

// Joins the HTTP initializer and the notification dispatcher: every
// callback a service registers is wrapped so that it receives the typed view
// built over the raw JSON of either source.
class context_synchronizer_impl final : public context_synchronizer {
public:
    // `retry_pause` is the wait between failed attempts of a blocking list
    // request.
    context_synchronizer_impl(core::http::client& http_client, core::events_loop& events_loop,
                              const core::component_logger& logger,
                              std::chrono::milliseconds retry_pause = std::chrono::seconds(5));

    boost::optional<not_json> handle_notify(const std::string& message) override;
    void initialize() override;
    boost::optional<not_json> handle_pos(boost::string_view message) override;

    void on_zone_creating(zone_callback cb) override;
    void on_zone_updating(zone_callback cb) override;
    void on_zone_deleting(zone_deleting_callback cb) override;
    bool for_each_zone_on_server(bool_zone_callback cb) override;
    zones_request::ptr get_zones_async() override;

    void on_trackable_object_creating(trackable_object_callback cb) override;
    void on_trackable_object_updating(trackable_object_callback cb) override;
    void on_trackable_object_deleting(trackable_object_deleting_callback cb) override;
    bool for_each_trackable_object_on_server(bool_trackable_object_callback cb) override;
    trackable_objects_request::ptr get_trackable_objects_async() override;

    bool for_each_alarm_on_server(bool_alarm_callback cb) override;

    void on_pos(pos_callback cb) override;
    void on_trackable_object_association_creating(trackable_object_association_callback cb) override;
    void on_trackable_object_association_updating(trackable_object_association_callback cb) override;
    void on_trackable_object_groups_updating(trackable_object_groups_callback cb) override;

private:
    template <typename View, typename ViewImpl>
    typename core::async_operation_handle<boost::optional<objects::objects_range<View>>>::ptr get_objects_async(
        const object_info& info);

    core::http::client& m_http_client;
    core::events_loop& m_events_loop;
    core::component_logger::ptr m_logger;
    context_updater m_context_updater;
    parsers::pos_reader m_pos_reader;
    pos_callback m_pos_callback;
    context_initializer m_context_initializer;
};

}  // namespace kel::libs::context_utils
