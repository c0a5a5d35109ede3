#pragma once

#include "context_save_restore.h"

#include <map>
#include <string>
#include <vector>

namespace kel::test {

// A persistence that keeps what a real one would hold, in memory: the flags
// of every stored record as "IELD" letters (in zone, event generated, leave
// generated, debouncing; "-" for a flag not set), keyed "<object>-<zone>".
// It records its calls as "save <object>-<zone> E" ("-" without the enter
// event) and "check <object>-<zone>", raises the save signal and marks each
// record saved, like the real one. restore() and check_event() change
// nothing. A save of the record keyed `m_fail_save` throws, once.
class recording_save_restore : public context_save_restore {
public:
    void restore() override {}
    void check_event(const context::trackable_object_in_zone& record) override;
    void save(const context::trackable_object_in_zone& record, boost::optional<const context::zone&> zone) override;
    connection do_on_save(const slot_type& slot) override { return m_on_save.connect(slot); }

    // The stored flags of a record, "" when it is not stored.
    std::string stored(const std::string& object, const std::string& zone) const;

    std::string m_fail_save;
    std::map<std::string, std::string> m_stored;
    std::vector<std::string> m_calls;
    save_signal m_on_save;
};

}  // namespace kel::test
