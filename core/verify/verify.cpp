#include "verify/verify.h"

#include <algorithm>
#include <cstdio>

#include "common/sha256.h"
#include "instrument/identify.h"
#include "instrument/instrument_commands.h"
#include "text/message.h"

namespace zentor {

namespace {

constexpr int kPollMs = 1000;
constexpr int kSliceMs = 100;

std::string OffsetText(std::size_t offset) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%04Xh", static_cast<unsigned>(offset));
    return std::to_string(offset) + " (" + hex + ")";
}

RunResult ResultOf(VerifyOutcome outcome) {
    switch (outcome) {
        case VerifyOutcome::Equal:
            return RunResult::Ok;
        case VerifyOutcome::Stopped:
            return RunResult::Interrupted;
        case VerifyOutcome::OtherSerial:
        case VerifyOutcome::BadImage:
            return RunResult::Refused;
        default:
            return RunResult::Failed;
    }
}

VerifyReport Verdict(Job& s, VerifyOutcome outcome, const Message& line) {
    VerifyReport r;
    r.outcome = outcome;
    r.serial = s.SerialText;
    r.verdict = Render(line);
    s.ui.AppendLine(r.verdict);
    s.run.result = ResultOf(outcome);
    s.run.note = r.verdict;
    return r;
}

}  // namespace

WaitEnd WaitForInstrument(Job& s, int seconds) {
    seconds = std::max(seconds, 0);
    s.ui.Say(ZT("verify.waiting", "Ожидание ответа устройства (до {0} с) ...", seconds));
    s.ui.SetProgressRange(0, seconds);
    s.ui.SetProgressPosition(0);
    const std::int64_t start = s.clock.NowMs();
    const std::int64_t deadline = start + static_cast<std::int64_t>(seconds) * 1000;
    for (;;) {
        if (s.StopRequested.exchange(false)) {
            s.ui.Say(ZT("verify.wait_stopped", "Ожидание прервано"));
            return WaitEnd::Stopped;
        }
        const std::int64_t poll = s.clock.NowMs();
        if (IdentifyInstrument(s)) {
            s.ui.SetProgressPosition(0);
            s.ui.Say(ZT("verify.answered", "Ответило устройство Velmar {0}  s/n: {1}",
                        s.identity.model, s.SerialText));
            return WaitEnd::Answered;
        }
        // The next poll a second after this one started, in slices that let a
        // Stop through; none once the next one would start past the deadline.
        const std::int64_t next = poll + kPollMs;
        if (next >= deadline) break;
        for (std::int64_t now = s.clock.NowMs(); now < next; now = s.clock.NowMs()) {
            if (s.StopRequested) break;
            s.clock.SleepMs(static_cast<int>(std::min<std::int64_t>(kSliceMs, next - now)));
        }
        s.ui.SetProgressPosition(static_cast<int>((s.clock.NowMs() - start) / 1000));
        s.ui.ProcessMessages();
    }
    s.ui.SetProgressPosition(0);
    s.ui.Say(ZT("verify.no_answer", "Устройство не ответило за {0} с", seconds));
    return WaitEnd::TimedOut;
}

Difference CompareImages(const std::vector<std::uint8_t>& expected,
                         const std::vector<std::uint8_t>& actual) {
    Difference d;
    bool found = false;
    const std::size_t n = std::max(expected.size(), actual.size());
    for (std::size_t i = 0; i < n; ++i) {
        const bool same = i < expected.size() && i < actual.size() && expected[i] == actual[i];
        if (same) continue;
        if (!found) d.first = i;
        found = true;
        ++d.count;
    }
    return d;
}

VerifyReport ReadBackAndCompare(Job& s, const std::vector<std::uint8_t>& expected,
                                const std::string& restoreCommand) {
    if (expected.empty() || expected.size() > kMaxImage)
        return Verdict(s, VerifyOutcome::BadImage,
                       ZT("verify.bad_image",
                          "Проверка DATA FLASH не выполнена: образ {0} байт (нужно 1..65536)",
                          expected.size()));
    const int pages = static_cast<int>((expected.size() + kPageSize - 1) / kPageSize);
    if (s.run.phase < RunPhase::Read) s.run.phase = RunPhase::Read;
    std::vector<std::uint8_t> actual;
    bool stopped = false;
    const bool read = ReadDataFlashImage(s, pages * kPageSize, actual, &stopped);
    s.ui.ShowStopButton(false);
    if (!read)
        return stopped ? Verdict(s, VerifyOutcome::Stopped,
                                 ZT("verify.stopped", "Проверка DATA FLASH прервана"))
                       : Verdict(s, VerifyOutcome::ReadFailed,
                                 ZT("verify.read_failed",
                                    "Проверка DATA FLASH не выполнена: ошибка чтения"));
    actual.resize(expected.size());
    const Difference d = CompareImages(expected, actual);
    if (d.count == 0)
        return Verdict(
            s, VerifyOutcome::Equal,
            ZT("verify.equal", "Проверка DATA FLASH - Ok: {0} байт совпадают с записанными",
               expected.size()));
    VerifyReport r =
        Verdict(s, VerifyOutcome::Different,
                ZT("verify.different",
                   "Проверка DATA FLASH: НЕ СОВПАДАЕТ с записанным, первое различие по смещению "
                   "{0}, различных байт {1} из {2}",
                   OffsetText(d.first), d.count, expected.size()));
    r.difference = d;
    if (!restoreCommand.empty())
        s.ui.Say(ZT("verify.restore_command", "Восстановление: {0}", restoreCommand));
    return r;
}

VerifyReport VerifyDataFlash(Job& s, const VerifyRequest& request) {
    s.run.dataSource = request.source;
    s.run.dataSha256 = Sha256Hex(request.expected);
    s.run.backupPath = request.backup;
    if (!request.expectedSerial.empty()) s.run.serial = request.expectedSerial;
    if (request.expected.empty() || request.expected.size() > kMaxImage)
        return ReadBackAndCompare(s, request.expected, {});
    s.ui.Say(ZT("verify.scope",
                "Сравнивается только DATA FLASH: CODE FLASH и регистры конфигурации (HCR0/HCR1) "
                "не проверяются"));
    switch (WaitForInstrument(s, request.waitSeconds)) {
        case WaitEnd::Answered:
            break;
        case WaitEnd::Stopped:
            return Verdict(s, VerifyOutcome::Stopped,
                           ZT("verify.stopped", "Проверка DATA FLASH прервана"));
        case WaitEnd::TimedOut: {
            VerifyReport r =
                Verdict(s, VerifyOutcome::NoAnswer,
                        ZT("verify.no_answer_verdict",
                           "Проверка DATA FLASH не выполнена: устройство не ответило за {0} с",
                           std::max(request.waitSeconds, 0)));
            r.serial.clear();
            return r;
        }
    }
    s.run.phase = RunPhase::Link;
    s.run.model = std::to_string(s.identity.model);
    if (request.expectedSerial.empty()) s.run.serial = s.SerialText;
    if (!request.expectedSerial.empty() && s.SerialText != request.expectedSerial)
        return Verdict(s, VerifyOutcome::OtherSerial,
                       ZT("verify.other_serial",
                          "Проверка DATA FLASH не выполнена: ответило устройство s/n {0}, а не {1}",
                          s.SerialText, request.expectedSerial));
    return ReadBackAndCompare(s, request.expected, request.restoreCommand);
}

const char* VerifyOutcomeText(VerifyOutcome outcome) {
    switch (outcome) {
        case VerifyOutcome::Equal:
            return "equal";
        case VerifyOutcome::Different:
            return "different";
        case VerifyOutcome::NoAnswer:
            return "no-answer";
        case VerifyOutcome::OtherSerial:
            return "other-serial";
        case VerifyOutcome::ReadFailed:
            return "read-failed";
        case VerifyOutcome::Stopped:
            return "stopped";
        case VerifyOutcome::BadImage:
            return "bad-image";
    }
    return "";
}

}  // namespace zentor
