#include "globals.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using kel::parse_uid;
using kel::uid;

TEST(parse_uid_test, decodes_either_alphabet_into_little_endian_words) {
    // Base64 of the bytes 0x00 to 0x0f, padded.
    const std::string counting = "AAECAwQFBgcICQoLDA0ODw==";
    const uid counted{0x0706050403020100u, 0x0f0e0d0c0b0a0908u};
    const uid both{0x0201ffffffbeeffbu, 0xfe09080706050403u};
    const std::vector<std::pair<std::string, uid>> cases{
        {counting, counted},
        {counting.substr(0, 22), counted},
        {counting.substr(0, 22) + "zzzzzzzz", counted},
        {"++++////AQIDBAUGBwgJ/g", both},
        {"----____AQIDBAUGBwgJ_g", both},
        {"AAEC", {0x020100u, 0u}},
        {"", {0u, 0u}},
        // A character outside both alphabets ends the decoding.
        {"AAEC*AwQFBgcICQoLDA0ODw", {0x020100u, 0u}},
        {"AAEC=AwQFBgcICQoLDA0ODw", {0x020100u, 0u}},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(parse_uid(text), expected) << text;
}

TEST(is_uid_text_test, takes_exactly_22_characters_of_either_alphabet) {
    EXPECT_TRUE(kel::is_uid_text("AAECAwQFBgcICQoLDA0ODw"));
    EXPECT_TRUE(kel::is_uid_text("AA-_AwQFBgcICQoLDA0ODw"));
    for (const char* text : {"AAECAwQFBgcICQoLDA0ODw==", "AAECAwQFBgcICQoLDA0OD", "AAECAwQFBgcICQoLDA0O.w"})
        EXPECT_FALSE(kel::is_uid_text(text)) << text;
}

}  // namespace
