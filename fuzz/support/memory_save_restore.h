#pragma once

#include "context/writable_context.h"
#include "context_save_restore.h"
#include "events_sender.h"

#include <map>
#include <string>

namespace kel::fuzz {

// The persistence of trackable objects in zones kept in a map instead of
// Redis, with the same rules: save emits the save signal first, then writes
// the record or drops it when none of its flags is set; check_event drops a
// record whose zone or object is gone and sends the LEAVE it still owes.
class memory_save_restore : public context_save_restore {
public:
    memory_save_restore(events_sender& sender, context::writable_context& context);

    void restore() override {}
    void check_event(const context::trackable_object_in_zone& record) override;
    void save(const context::trackable_object_in_zone& record, boost::optional<const context::zone&> zone) override;
    connection do_on_save(const slot_type& slot) override;

    // Empty when what is stored is exactly what the context holds with
    // state, flag for flag; otherwise the first difference found.
    std::string difference_from_context() const;
    // What is stored now becomes what back_to_start() puts back.
    void keep_as_start() { m_start = m_stored; }
    void back_to_start() { m_stored = m_start; }
    // One "<object>-<zone>:<flags>" line per stored record, in key order.
    std::string describe() const;

private:
    // The four flags of a record, one bit each; none set is no record.
    using flags = unsigned;
    struct stored_record {
        std::string id;  // "<object>-<zone>"
        flags state;
    };
    // By the record's own key, so that a check against memory needs no
    // texts; in key order, so that describe() is the same for equal stores.
    using records = std::map<context::trackable_object_in_zone_uid, stored_record>;

    static std::string id_of(const context::trackable_object_in_zone& record);
    static flags flags_of(const context::trackable_object_in_zone& record);

    events_sender& m_sender;
    context::writable_context& m_context;
    save_signal m_on_save;
    records m_stored;
    records m_start;
};

}  // namespace kel::fuzz
