#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// A dialog's initial data (resource type 240): messages that fill its list and combo boxes
// before the dialog's own initialisation runs. Each record is a control id, a message, a 32-bit
// byte count and that many bytes of text; a control id of 0 ends the list.
namespace dialog_init_data {

// The add-string codes the records carry; a dialog maps them to LB_ADDSTRING and CB_ADDSTRING.
constexpr uint16_t kListAddString = 0x0401;
constexpr uint16_t kComboAddString = 0x0403;

struct Item {
    uint16_t controlId;
    uint16_t message;
    std::string text; // the record's bytes up to its first NUL

    bool operator==(const Item&) const = default;
};

// The records up to the end marker. Data that ends inside a record yields the complete records
// before it.
std::vector<Item> Parse(std::span<const uint8_t> data);

} // namespace dialog_init_data
