#include <context_utils/objects_repository.h>

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using kel::libs::context_utils::objects_repository;
using kel::libs::context_utils::timestamp;
using journal = std::vector<std::string>;

timestamp at(int ms) {
    return timestamp(std::chrono::milliseconds(ms));
}

class item {
public:
    item(std::string uid, int value) : m_uid(std::move(uid)), m_value(value) {}
    item(item&&) = default;
    item& operator=(item&&) = default;

    const std::string& get_uid() const { return m_uid; }
    int get_value() const { return m_value; }
    void set_value(int value) { m_value = value; }

private:
    std::string m_uid;
    int m_value;
};

// Writes "<name> <event> <uid>=<value> @<ms>" for every notification and
// throws from the event named in m_fail_on.
class recorder : public objects_repository<item>::observer {
public:
    recorder(std::string name, journal& journal) : m_name(std::move(name)), m_journal(journal) {}

    void after_creating(const item& o, timestamp ts) override { record("created", o, ts); }
    void after_updating(const item& o, timestamp ts) override { record("updated", o, ts); }
    void before_deleting(const item& o, timestamp ts) override { record("deleted", o, ts); }

    std::string m_fail_on;

private:
    void record(const std::string& event, const item& o, timestamp ts) {
        m_journal.push_back(m_name + " " + event + " " + o.get_uid() + "=" + std::to_string(o.get_value()) + " @" +
                            std::to_string(ts.get_time_since_epoch().count()));
        if (event == m_fail_on)
            throw std::runtime_error(m_name + " failed");
    }

    std::string m_name;
    journal& m_journal;
};

class objects_repository_test : public ::testing::Test {
protected:
    using repository = objects_repository<item>;

    // Subscribes A then B; the handles end with the fixture.
    void watch() {
        m_subscriptions.push_back(m_repository.subscribe(m_a));
        m_subscriptions.push_back(m_repository.subscribe(m_b));
    }
    void add(const std::string& uid, int value, int ms = 0) { m_repository.add(item(uid, value), at(ms)); }
    void update_or_add(const std::string& uid, int value, int ms = 0) {
        m_repository.update_or_add(item(uid, value), at(ms));
    }
    void remove(const std::string& uid, int ms = 0) { m_repository.remove(uid, at(ms)); }
    repository::writable_object write(const std::string& uid, int ms = 0) { return m_repository.try_get(uid, at(ms)); }
    int value_of(const std::string& uid) const { return m_repository.get(uid).get_value(); }
    journal take_journal() { return std::exchange(m_journal, {}); }

    journal m_journal;
    recorder m_a{"A", m_journal};
    recorder m_b{"B", m_journal};
    repository m_repository;
    std::vector<repository::subscription_handle> m_subscriptions;
};

TEST_F(objects_repository_test, observers_hear_in_subscription_order_until_their_handle_ends) {
    watch();
    add("x", 1, 10);
    EXPECT_EQ(take_journal(), (journal{"A created x=1 @10", "B created x=1 @10"}));

    m_subscriptions.pop_back();
    update_or_add("x", 2, 20);
    EXPECT_EQ(take_journal(), (journal{"A updated x=2 @20"}));
}

TEST_F(objects_repository_test, writable_handle_reports_its_timestamp_when_it_ends_changed_or_not) {
    add("x", 1);
    watch();
    {
        auto handle = write("x", 30);
        ASSERT_TRUE(handle);
        EXPECT_TRUE(take_journal().empty());
    }
    {
        auto handle = write("x", 31);
        handle->set_value(9);
    }
    EXPECT_EQ(value_of("x"), 9);
    EXPECT_EQ(take_journal(),
              (journal{"A updated x=1 @30", "B updated x=1 @30", "A updated x=9 @31", "B updated x=9 @31"}));
}

TEST_F(objects_repository_test, removal_during_a_handle_waits_for_it_and_keeps_the_latest_timestamp) {
    add("x", 1);
    watch();
    {
        auto handle = write("x", 0);
        remove("x", 1);
        remove("x", 2);
        EXPECT_TRUE(m_repository.is_exists("x"));
        EXPECT_TRUE(take_journal().empty());
    }
    EXPECT_FALSE(m_repository.is_exists("x"));
    EXPECT_EQ(take_journal(), (journal{"A updated x=1 @0", "B updated x=1 @0", "A deleted x=1 @2", "B deleted x=1 @2"}));
}

TEST_F(objects_repository_test, removal_under_nested_handles_waits_for_the_outer_one) {
    add("x", 1);
    watch();
    {
        auto outer = write("x", 1);
        {
            auto inner = write("x", 2);
            remove("x", 3);
        }
        EXPECT_TRUE(m_repository.is_exists("x"));
        outer->set_value(5);
    }
    EXPECT_FALSE(m_repository.is_exists("x"));
    EXPECT_EQ(take_journal(), (journal{"A updated x=1 @2", "B updated x=1 @2", "A updated x=5 @1", "B updated x=5 @1",
                                       "A deleted x=5 @3", "B deleted x=5 @3"}));
}

TEST_F(objects_repository_test, observer_failure_at_handle_end_is_rethrown_and_leaves_the_object_writable) {
    add("x", 1);
    watch();
    m_a.m_fail_on = "updated";
    EXPECT_THROW(write("x", 1), std::runtime_error);
    EXPECT_EQ(take_journal(), (journal{"A updated x=1 @1"}));

    remove("x", 2);
    EXPECT_FALSE(m_repository.is_exists("x"));
}

TEST_F(objects_repository_test, observer_failure_in_a_deferred_removal_is_rethrown_and_keeps_the_object) {
    add("x", 1);
    watch();
    m_b.m_fail_on = "deleted";
    EXPECT_THROW(
        {
            auto handle = write("x", 1);
            remove("x", 2);
        },
        std::runtime_error);
    EXPECT_TRUE(m_repository.is_exists("x"));

    m_b.m_fail_on.clear();
    take_journal();
    remove("x", 3);
    EXPECT_EQ(take_journal(), (journal{"A deleted x=1 @3", "B deleted x=1 @3"}));
}

TEST_F(objects_repository_test, observer_failure_in_add_propagates_and_skips_later_observers) {
    watch();
    m_a.m_fail_on = "created";
    EXPECT_THROW(add("x", 1, 1), std::runtime_error);
    EXPECT_TRUE(m_repository.is_exists("x"));
    EXPECT_EQ(take_journal(), (journal{"A created x=1 @1"}));
}

}  // namespace
