#include "platform/dialog_init_data.h"

#include <algorithm>

namespace dialog_init_data {
namespace {

// Resource data is little-endian whatever the host, and records are not aligned.
uint32_t ReadLittle(std::span<const uint8_t> bytes) {
    uint32_t value = 0;
    for (size_t i = bytes.size(); i-- > 0;)
        value = (value << 8) | bytes[i];
    return value;
}

} // namespace

std::vector<Item> Parse(std::span<const uint8_t> data) {
    constexpr size_t kHeaderSize = 8; // id, message, byte count
    std::vector<Item> items;
    while (data.size() >= 2) {
        auto controlId = static_cast<uint16_t>(ReadLittle(data.first(2)));
        if (controlId == 0 || data.size() < kHeaderSize)
            break;
        auto message = static_cast<uint16_t>(ReadLittle(data.subspan(2, 2)));
        uint32_t length = ReadLittle(data.subspan(4, 4));
        data = data.subspan(kHeaderSize);
        if (length > data.size())
            break;
        auto text = data.first(length);
        auto end = std::find(text.begin(), text.end(), uint8_t{0});
        items.push_back({controlId, message, std::string(text.begin(), end)});
        data = data.subspan(length);
    }
    return items;
}

} // namespace dialog_init_data
