#include "platform/dialog_init_data.h"

#include <gtest/gtest.h>

using dialog_init_data::Item;
using dialog_init_data::kComboAddString;
using dialog_init_data::Parse;

namespace {

using Bytes = std::vector<uint8_t>;

// Records of control id, message, 32-bit byte count (given, or the text's size) and the text.
Bytes Records(std::initializer_list<std::tuple<uint16_t, std::string, uint32_t>> records) {
    Bytes out;
    for (const auto& [id, text, count] : records) {
        const uint32_t bytes = count ? count : static_cast<uint32_t>(text.size());
        for (uint32_t v : {uint32_t{id} | uint32_t{kComboAddString} << 16, bytes})
            for (int i = 0; i < 4; ++i)
                out.push_back(static_cast<uint8_t>(v >> (8 * i)));
        out.insert(out.end(), text.begin(), text.end());
    }
    return out;
}

} // namespace

TEST(DialogInitData, RecordsUpToTheEndMarkerAndNoFurther) {
    const std::string halfHour("0.5\x8e\x9e\x8a\xd4\0", 8); // odd counts leave later records unaligned
    struct Case {
        Bytes data;
        std::vector<Item> items;
    };
    const Bytes endMarker{0, 0};
    Bytes afterEnd = Records({{5, std::string("x\0", 2), 0}});
    afterEnd.insert(afterEnd.end(), {0, 0});
    const Bytes more = Records({{6, "y", 0}});
    afterEnd.insert(afterEnd.end(), more.begin(), more.end());
    const Case cases[] = {
        {{}, {}},
        {endMarker, {}},
        {Records({{1013, halfHour, 0}, {1013, std::string("ab\0cd\0", 6), 0}}),
         {{1013, kComboAddString, "0.5\x8e\x9e\x8a\xd4"}, {1013, kComboAddString, "ab"}}},
        {afterEnd, {{5, kComboAddString, "x"}}},
        {Records({{5, "abc", 0}, {6, "", 0}}), {{5, kComboAddString, "abc"}, {6, kComboAddString, ""}}},
        // A byte count beyond the data ends the list at the complete records before it.
        {Records({{8, "z", 0}, {9, "abc", 4}}), {{8, kComboAddString, "z"}}},
        {Records({{8, "z", 0}, {9, "abc", 0xFFFFFFFFu}}), {{8, kComboAddString, "z"}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Parse(c.data), c.items) << c.data.size() << " bytes";

    const Bytes whole = Records({{1013, std::string("ab\0", 3), 0}, {1014, std::string("cd\0", 3), 0}});
    for (size_t cut = 1; cut < whole.size(); ++cut)
        EXPECT_EQ(Parse({whole.data(), cut}).size(), cut < 11 ? 0u : 1u) << "cut at " << cut;
}
