#include "platform/dialog_init_data.h"

#include <gtest/gtest.h>

#include "avi/avi_layout.h"

using dialog_init_data::Item;
using dialog_init_data::kComboAddString;

namespace {

// Records of control id, message, 32-bit byte count (given, or the text's size) and the text; id 0 is
// the end marker alone.
std::vector<uint8_t> Records(std::initializer_list<std::tuple<uint16_t, std::string, uint32_t>> records) {
    avi::Encoder e;
    for (const auto& [id, text, count] : records) {
        e.U16(id);
        if (id != 0)
            e.U16(kComboAddString), e.U32(count ? count : text.size()), e.Bytes(text.data(), text.size());
    }
    return e.bytes();
}

} // namespace

TEST(DialogInitData, RecordsUpToTheEndMarkerAndNoFurther) {
    const std::string halfHour("0.5\x8e\x9e\x8a\xd4\0", 8); // odd counts leave later records unaligned
    const std::pair<std::vector<uint8_t>, std::vector<Item>> cases[] = {
        {{}, {}},
        {Records({{0, "", 0}}), {}},
        {Records({{1013, halfHour, 0}, {1013, std::string("ab\0cd\0", 6), 0}}),
         {{1013, kComboAddString, "0.5\x8e\x9e\x8a\xd4"}, {1013, kComboAddString, "ab"}}},
        {Records({{5, std::string("x\0", 2), 0}, {0, "", 0}, {6, "y", 0}}), {{5, kComboAddString, "x"}}},
        {Records({{5, "abc", 0}, {6, "", 0}}), {{5, kComboAddString, "abc"}, {6, kComboAddString, ""}}},
        // A byte count beyond the data ends the list at the complete records before it.
        {Records({{8, "z", 0}, {9, "abc", 4}}), {{8, kComboAddString, "z"}}},
        {Records({{8, "z", 0}, {9, "abc", 0xFFFF0003u}}), {{8, kComboAddString, "z"}}},
    };
    for (const auto& [data, items] : cases)
        EXPECT_EQ(dialog_init_data::Parse(data), items) << data.size() << " bytes";
    const auto whole = Records({{1013, std::string("ab\0", 3), 0}, {1014, std::string("cd\0", 3), 0}});
    for (size_t cut = 1; cut < whole.size(); ++cut)
        EXPECT_EQ(dialog_init_data::Parse({whole.data(), cut}).size(), cut < 11 ? 0u : 1u)
            << "cut at " << cut;
}
