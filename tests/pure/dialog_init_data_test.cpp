#include "platform/dialog_init_data.h"

#include <gtest/gtest.h>

#include <initializer_list>

using dialog_init_data::Item;
using dialog_init_data::kComboAddString;
using dialog_init_data::Parse;

namespace {

using Bytes = std::vector<uint8_t>;

void AppendLittle(Bytes& out, uint32_t value, int size) {
    for (int i = 0; i < size; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// One record whose byte count covers the text as given (add the NUL yourself).
Bytes Record(uint16_t id, uint16_t message, const std::string& bytes) {
    Bytes out;
    AppendLittle(out, id, 2);
    AppendLittle(out, message, 2);
    AppendLittle(out, static_cast<uint32_t>(bytes.size()), 4);
    out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

const Bytes kEnd{0, 0};

} // namespace

namespace dialog_init_data {
void PrintTo(const Item& item, std::ostream* os) {
    *os << "{" << item.controlId << ", 0x" << std::hex << item.message << std::dec << ", \"" << item.text
        << "\"}";
}

} // namespace dialog_init_data

TEST(DialogInitData, ParsesRecordsUpToTheEndMarker) {
    // "0.5時間" in code page 932: odd byte counts leave the following records unaligned.
    const std::string halfHour = "0.5\x8e\x9e\x8a\xd4";
    struct Case {
        const char* name;
        Bytes data;
        std::vector<Item> items;
    };
    const Case cases[] = {
        {"empty", {}, {}},
        {"end marker only", kEnd, {}},
        {"two records",
         Join({Record(1013, kComboAddString, std::string("\x96\xb3\x90\xa7\x8c\xc0", 6) + '\0'),
               Record(1013, kComboAddString, halfHour + '\0'), kEnd}),
         {{1013, kComboAddString, "\x96\xb3\x90\xa7\x8c\xc0"}, {1013, kComboAddString, halfHour}}},
        {"other controls and messages",
         Join(
             {Record(7, 0x0401, std::string("a\0", 2)), Record(0xFFFF, 0x1234, std::string("b\0", 2)), kEnd}),
         {{7, 0x0401, "a"}, {0xFFFF, 0x1234, "b"}}},
        {"data after the end marker is ignored",
         Join({Record(5, kComboAddString, std::string("x\0", 2)), kEnd, Record(6, kComboAddString, "y")}),
         {{5, kComboAddString, "x"}}},
        {"missing end marker",
         Record(5, kComboAddString, std::string("x\0", 2)),
         {{5, kComboAddString, "x"}}},
        {"text without NUL keeps all its bytes",
         Join({Record(5, kComboAddString, "abc"), kEnd}),
         {{5, kComboAddString, "abc"}}},
        {"text stops at its first NUL",
         Join({Record(5, kComboAddString, std::string("ab\0cd\0", 6)), kEnd}),
         {{5, kComboAddString, "ab"}}},
        {"empty record", Join({Record(5, kComboAddString, ""), kEnd}), {{5, kComboAddString, ""}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Parse(c.data), c.items) << c.name;
}

TEST(DialogInitData, TruncatedDataYieldsTheCompleteRecords) {
    const Bytes first = Record(1013, kComboAddString, std::string("ab\0", 3));
    const Bytes second = Record(1014, kComboAddString, std::string("cd\0", 3));
    const Bytes whole = Join({first, second, kEnd});
    const std::vector<Item> firstOnly{{1013, kComboAddString, "ab"}};
    // Every cut inside the second record, from its first byte to its last.
    for (size_t cut = first.size(); cut < first.size() + second.size(); ++cut) {
        Bytes data(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_EQ(Parse(data), firstOnly) << "cut at " << cut;
    }
    for (size_t cut = 1; cut < first.size(); ++cut) {
        Bytes data(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_TRUE(Parse(data).empty()) << "cut at " << cut;
    }
}

TEST(DialogInitData, ByteCountBeyondTheDataStops) {
    for (uint32_t count : {4u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        Bytes data = Record(9, kComboAddString, "abc");
        for (int i = 0; i < 4; ++i)
            data[4 + i] = static_cast<uint8_t>(count >> (8 * i));
        EXPECT_EQ(Parse(Join({Record(8, kComboAddString, "z"), data})),
                  (std::vector<Item>{{8, kComboAddString, "z"}}))
            << count;
    }
}
