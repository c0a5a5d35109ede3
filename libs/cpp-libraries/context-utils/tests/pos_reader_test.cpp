#include "parsers/pos_impl.h"
#include "parsers/pos_reader.h"
#include "pos_answers.h"

#include <core/json.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

namespace parsers = kel::libs::context_utils::parsers;

const std::string data = R"("data":{"mac":"00:11","sl_uid":"sl01","type":"uwb","x":5000,"y":-4000,"z":7})";
const std::string head = R"({"tk_uid":"tagA","ts":"2026-12-06T10:00:00.250Z",)";

struct reading {
    std::string text;
    // Whether the plain shape is read without jsoncpp.
    bool read_fast;
};

// Every answer of the reader is the jsoncpp view's; what it declines goes to
// jsoncpp, so it declines anything outside the plain shape.
TEST(pos_reader, answers_as_the_jsoncpp_view_and_declines_what_is_not_plain) {
    const std::vector<reading> cases{
        {head + data + R"(,"fom":1})", true},
        {R"({"tk_uid":"x","tk_uid":"tagA","ts":"2026-12-06T10:00:00Z",)" + data + R"(,"data":{"x":1,"y":2,"z":3,"sl_uid":"s"}})",
         true},
        {R"({"tk_uid":"tagA","ts":"yesterday",)" + data + "}", true},
        {head + data + "} trailing", false},
        {head + "/* c */" + data + "}", false},
        {R"({"tk_uid":"tag\u0041","ts":"2026-12-06T10:00:00Z",)" + data + "}", false},
        {head + R"("data":{"x":1.5,"y":2,"z":3,"sl_uid":"s"}})", false},
        {head + R"("data":{"x":2147483648,"y":2,"z":3,"sl_uid":"s"}})", false},
        {head + R"("data":{"x":1,"y":2,"sl_uid":"s"}})", false},
        {head + data + R"(,"extra":[1]})", false},
        {R"({"tk_uid":12,"ts":"2026-12-06T10:00:00Z",)" + data + "}", false},
        {head + data + R"(,"tk_uid":null})", false},
        {"[1,2]", false},
        {"", false},
    };
    parsers::pos_reader reader;
    for (const auto& c : cases) {
        const parsers::pos* fields = reader.read(c.text);
        EXPECT_EQ(fields != nullptr, c.read_fast) << c.text;
        if (fields == nullptr)
            continue;
        const auto parsed = kel::libs::core::json::try_parse(c.text);
        ASSERT_TRUE(parsed.ok) << c.text;
        const parsers::pos_impl reference(parsed.result);
        EXPECT_EQ(kel::test::pos_answers(*fields), kel::test::pos_answers(reference)) << c.text;
    }
    const parsers::pos* fields = reader.read(cases.front().text);
    ASSERT_NE(fields, nullptr);
    EXPECT_EQ(fields->get_type(), "uwb") << "the fields the service does not read answer through jsoncpp";
    EXPECT_EQ(fields->get_fom(), 1u);
    const std::string next = head + R"("data":{"sl_uid":"sl01","type":"ble","x":1,"y":2,"z":3},"fom":2})";
    fields = reader.read(next);
    ASSERT_NE(fields, nullptr);
    EXPECT_EQ(fields->get_type(), "ble") << "the next message's, not the view of the last";
    EXPECT_EQ(fields->get_fom(), 2u);
}

}  // namespace
