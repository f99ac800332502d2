#include "bootrom/hex_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bootrom_rig.h"

namespace zentor {
namespace {

std::string Record(std::uint16_t address, const test::Bytes& data) {
    std::uint8_t out[kDataRecordLength + 8] = {};
    const std::size_t n = ComposeDataRecord(out, address, data.data());
    return std::string(out, out + n);
}

// Independent check: every byte of a record from the byte count on sums to 0 mod 256.
bool ChecksumClosesRecord(const std::string& r) {
    unsigned sum = 0;
    for (std::size_t i = 1; i + 2 < r.size(); i += 2)
        sum += std::stoul(r.substr(i, 2), nullptr, 16);
    return (sum & 0xFF) == 0;
}

TEST(DataRecord, LayoutAddressAndChecksum) {
    struct Case {
        std::uint16_t address;
        test::Bytes data;
        std::string head;  // first 9 characters
        std::string checksum;
    };
    const std::vector<Case> cases = {
        {0x0080, test::Bytes(128, 0x00), ":80008000", "00"},
        {0x7F80, test::Bytes(128, 0x00), ":807F8000", "81"},
        {0x0000, test::Bytes(128, 0xFF), ":80000000", "00"},
        {0x1C00, test::Pattern(128, 3), ":801C0000", ""},
        {0xFF80, test::Pattern(128, 200), ":80FF8000", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.head);
        const std::string r = Record(c.address, c.data);
        ASSERT_EQ(r.size(), 269u);
        EXPECT_EQ(r.substr(0, 9), c.head);
        EXPECT_EQ(r.substr(r.size() - 2), "\r\n");
        for (std::size_t i = 0; i < 128; ++i) {
            char digits[3];
            std::snprintf(digits, sizeof digits, "%02X", c.data[i]);
            ASSERT_EQ(r.substr(9 + 2 * i, 2), digits) << "data byte " << i;
        }
        if (!c.checksum.empty()) {
            EXPECT_EQ(r.substr(265, 2), c.checksum);
        }
        EXPECT_TRUE(ChecksumClosesRecord(r));
        EXPECT_EQ(r.find_first_of("abcdef"), std::string::npos) << "lower-case digit";
    }
}

TEST(ConfigRecord, ValuesSentAsTheyStandChecksumFromTheirValues) {
    struct Case {
        const char* hcr1;
        const char* hcr0;
        const char* record;
    };
    const Case cases[] = {
        {"A3", "7D", ":02807E00A37DE0\r\n"},
        {"93", "7D", ":02807E00937DF0\r\n"},
        {"A3", "7d", ":02807E00A37dE0\r\n"},  // lower case kept, checksum of 7D
        {"00", "00", ":02807E00000000\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.hcr1) + "/" + c.hcr0);
        const auto r = ComposeConfigRecord(c.hcr1, c.hcr0);
        ASSERT_TRUE(r.has_value());
        EXPECT_EQ(*r, c.record);
    }
    EXPECT_FALSE(ComposeConfigRecord("zz", "7D").has_value());
}

TEST(HexText, ReadsLikeAHexNumber) {
    struct Case {
        const char* text;
        std::optional<int> value;
    };
    const Case cases[] = {
        {"7D", 125},
        {"7d", 125},
        {"a3", 163},
        {"  A3", 163},
        {"0x1F", 31},
        {"0X1f", 31},
        {"A3zz", 163},
        {"0", 0},
        {"0x", 0},
        {"0xG", 0},
        {"", std::nullopt},
        {"  ", std::nullopt},
        {"G1", std::nullopt},
        {"-1", std::nullopt},
        {"FFFFFFFFFFFF", 0x7FFFFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.text + "\"");
        EXPECT_EQ(HexTextToInt(c.text), c.value);
    }
}

TEST(HexText, RegisterValueMustBeTwoHexDigits) {
    for (const char* good : {"A3", "7d", "00", "fF"}) EXPECT_TRUE(IsHexByteText(good)) << good;
    for (const char* bad : {"", "7", "A3 ", " A3", "0x7D", "7G", "123"})
        EXPECT_FALSE(IsHexByteText(bad)) << bad;
}

}  // namespace
}  // namespace zentor
