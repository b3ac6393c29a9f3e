#include "platform/dialog_init_data.h"

#include <algorithm>

#include "platform/little_endian.h"

namespace dialog_init_data {

// Resource data is little-endian whatever the host, and records are not aligned.
using little_endian::LoadU16;
using little_endian::LoadU32;

std::vector<Item> Parse(std::span<const uint8_t> data) {
    constexpr size_t kHeaderSize = 8; // id, message, byte count
    std::vector<Item> items;
    while (data.size() >= 2) {
        auto controlId = LoadU16(data.data());
        if (controlId == 0 || data.size() < kHeaderSize)
            break;
        auto message = LoadU16(data.data() + 2);
        uint32_t length = LoadU32(data.data() + 4);
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
