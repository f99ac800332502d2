// Reader of a compiled gettext catalogue (.mo): the translation of a msgid in
// its msgctxt. The bytes are checked once, when the catalogue is made; a file
// that is not a well-formed .mo gives an empty catalogue (every lookup finds
// nothing). The bytes must outlive the catalogue; lookups are read-only and
// safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string_view>

namespace zentor {

class MoCatalogue {
public:
    explicit MoCatalogue(std::span<const std::uint8_t> bytes);

    bool Valid() const { return valid_; }
    std::size_t Size() const { return texts_.size(); }
    // The translation of msgid with msgctxt context; nothing when there is none
    // or it is empty (gettext's "untranslated").
    std::optional<std::string_view> Find(std::string_view context, std::string_view msgid) const;
    // Every key ("context\x04msgid", or the msgid alone) with its translation.
    const std::map<std::string_view, std::string_view, std::less<>>& Texts() const {
        return texts_;
    }

private:
    bool valid_ = false;
    std::map<std::string_view, std::string_view, std::less<>> texts_;
};

}  // namespace zentor
