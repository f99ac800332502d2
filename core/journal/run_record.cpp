#include "journal/run_record.h"

#include <array>
#include <utility>

namespace zentor {
namespace {

constexpr std::array<std::pair<RunResult, std::string_view>, 6> kResults{{
    {RunResult::None, ""},
    {RunResult::Ok, "ok"},
    {RunResult::Failed, "failed"},
    {RunResult::Unconfirmed, "unconfirmed"},
    {RunResult::Interrupted, "interrupted"},
    {RunResult::Refused, "refused"},
}};

constexpr std::array<std::pair<RunPhase, std::string_view>, 10> kPhases{{
    {RunPhase::Unknown, ""},
    {RunPhase::Nothing, "nothing"},
    {RunPhase::Link, "link"},
    {RunPhase::Read, "read"},
    {RunPhase::Boot, "boot"},
    {RunPhase::Erase, "erase"},
    {RunPhase::Code, "code"},
    {RunPhase::Data, "data"},
    {RunPhase::Config, "config"},
    {RunPhase::Done, "done"},
}};

template <typename E, std::size_t N>
std::string_view TextOf(const std::array<std::pair<E, std::string_view>, N>& table, E value) {
    for (const auto& [v, text] : table)
        if (v == value) return text;
    return "";
}

template <typename E, std::size_t N>
std::optional<E> ValueOf(const std::array<std::pair<E, std::string_view>, N>& table,
                         std::string_view text) {
    for (const auto& [v, t] : table)
        if (t == text) return v;
    return std::nullopt;
}

}  // namespace

std::string_view RunResultText(RunResult r) {
    return TextOf(kResults, r);
}
std::optional<RunResult> ParseRunResult(std::string_view text) {
    return ValueOf(kResults, text);
}
std::string_view RunPhaseText(RunPhase p) {
    return TextOf(kPhases, p);
}
std::optional<RunPhase> ParseRunPhase(std::string_view text) {
    return ValueOf(kPhases, text);
}

}  // namespace zentor
