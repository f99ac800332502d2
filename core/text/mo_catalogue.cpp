#include "text/mo_catalogue.h"

#include <string>

namespace zentor {

namespace {

constexpr std::uint32_t kMagic = 0x950412de;
constexpr std::uint32_t kMagicSwapped = 0xde120495;

class Reader {
public:
    Reader(std::span<const std::uint8_t> bytes, bool swapped) : bytes_(bytes), swapped_(swapped) {}

    std::optional<std::uint32_t> Word(std::size_t offset) const {
        if (offset > bytes_.size() || bytes_.size() - offset < 4) return std::nullopt;
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            const std::uint32_t b = bytes_[offset + (swapped_ ? 3 - i : i)];
            v |= b << (8 * i);
        }
        return v;
    }

    // Entry i of a string table at table: length, offset, and a NUL after it.
    std::optional<std::string_view> String(std::size_t table, std::uint32_t i) const {
        const std::size_t at = table + std::size_t{8} * i;
        const auto length = Word(at);
        const auto offset = Word(at + 4);
        if (!length || !offset) return std::nullopt;
        if (*offset > bytes_.size() || bytes_.size() - *offset <= *length) return std::nullopt;
        if (bytes_[*offset + *length] != 0) return std::nullopt;
        return std::string_view(reinterpret_cast<const char*>(bytes_.data()) + *offset, *length);
    }

private:
    std::span<const std::uint8_t> bytes_;
    bool swapped_;
};

}  // namespace

MoCatalogue::MoCatalogue(std::span<const std::uint8_t> bytes) {
    const auto magic = Reader(bytes, false).Word(0);
    if (!magic || (*magic != kMagic && *magic != kMagicSwapped)) return;
    const Reader r(bytes, *magic == kMagicSwapped);
    const auto revision = r.Word(4);
    const auto count = r.Word(8);
    const auto originals = r.Word(12);
    const auto translations = r.Word(16);
    if (!revision || (*revision >> 16) != 0 || !count || !originals || !translations) return;
    if (*count > bytes.size() / 16) return;
    for (std::uint32_t i = 0; i < *count; ++i) {
        const auto key = r.String(*originals, i);
        const auto text = r.String(*translations, i);
        if (!key || !text) {
            texts_.clear();
            return;
        }
        texts_.emplace(*key, *text);
    }
    valid_ = true;
}

std::optional<std::string_view> MoCatalogue::Find(std::string_view context,
                                                  std::string_view msgid) const {
    std::string key;
    key.reserve(context.size() + 1 + msgid.size());
    key.append(context).append(1, '\x04').append(msgid);
    const auto it = texts_.find(std::string_view(key));
    if (it == texts_.end() || it->second.empty()) return std::nullopt;
    return it->second;
}

}  // namespace zentor
