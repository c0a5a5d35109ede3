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

private:
    struct flags {
        bool in_zone;
        bool event_generated;
        bool leave_generated;
        bool in_debouncing_state;
        bool operator==(const flags& other) const;
    };

    static std::string id_of(const context::trackable_object_in_zone& record);
    static flags flags_of(const context::trackable_object_in_zone& record);

    events_sender& m_sender;
    context::writable_context& m_context;
    save_signal m_on_save;
    std::map<std::string, flags> m_stored;
};

}  // namespace kel::fuzz
