// Compiled catalogues of arbitrary bytes: the reader takes a well-formed one
// whole and finds every text it holds by its key, refuses anything else without
// reading past the bytes; rendering a text of arbitrary bytes puts arguments
// only where a placeholder names one.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "text/message.h"
#include "text/mo_catalogue.h"

using zentor::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zentor;
    const std::vector<std::uint8_t> bytes(data, data + size);
    const MoCatalogue mo{std::span<const std::uint8_t>(bytes)};
    Check(mo.Valid() || mo.Size() == 0);
    for (const auto& [key, text] : mo.Texts()) {
        const std::size_t split = key.find('\x04');
        if (split == std::string_view::npos) continue;
        const auto found = mo.Find(key.substr(0, split), key.substr(split + 1));
        Check(text.empty() ? !found.has_value() : found == text);
    }

    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string rendered = Substitute(text, {"", "x"});
    if (text.find('{') == std::string_view::npos) Check(rendered == text);
    Check(rendered.size() <= text.size());
    return 0;
}
