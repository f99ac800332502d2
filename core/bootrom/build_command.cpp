// "Компиляция": assemble and link with the external tools in the working
// folder, wait for Prog.bin, and write its scrambled copy prog_c.bin.
#include "bootrom/build_command.h"

#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "bootrom/build_tools.h"
#include "common/files.h"
#include "common/image_file.h"
#include "common/image_key.h"
#include "text/message.h"

namespace zentor {

namespace fs = std::filesystem;

namespace {

void LogBuildFailed(Job& s) {
    s.ui.Say(ZT("build.failed", "Произошла ошибка компиляции"));
    s.ui.AppendLine("");
}

// Removes every file in dir named name in any letter case. False when one
// could not be removed.
bool RemoveAllNoCase(const fs::path& dir, const std::string& name) {
    std::error_code ec;
    std::vector<fs::path> found;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (EqualNoCase(it->path().filename().string(), name)) found.push_back(it->path());
    }
    bool ok = true;
    for (const fs::path& p : found) {
        std::error_code rm;
        fs::remove(p, rm);
        if (rm) ok = false;
    }
    return ok;
}

std::string Shown(const std::string& name) {
    std::string out;
    for (char c : name) out += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
    return out;
}

// Clears the log, checks the file name and removes what an earlier build left,
// so that nothing found afterwards can be mistaken for this build's output.
bool BeginBuild(Job& s) {
    s.ui.ClearLog();
    const std::string& asmName = s.settings.AsmFileName;
    if (!IsPlainAsmFileName(asmName)) {
        s.ui.Say(
            ZT("build.bad_asm_name", "Недопустимое имя файла ассемблера: \"{0}\"", Shown(asmName)));
        return false;
    }
    if (!RemoveAllNoCase(s.workDir, "Prog.bin") ||
        !RemoveAllNoCase(s.workDir, ObjectFileName(asmName))) {
        s.ui.Say(ZT("build.cannot_clean", "Невозможно удалить файлы прошлой компиляции"));
        return false;
    }
    return true;
}

// Writes the batch file beside the executable; listed in TempFiles once created.
bool WriteBatchFile(Job& s) {
    const fs::path path = BatchFilePath(s.exePath);
    if (path.empty()) return false;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    s.TempFiles.push_back(path.string());
    for (const std::string& line : BatchFileLines(s.settings.AsmFileName)) out << line << '\n';
    out.close();
    return static_cast<bool>(out);
}

void ListObjectFile(Job& s) {
    const std::string object = ObjectFileName(s.settings.AsmFileName);
    if (ExistsNoCase(s.workDir, object))
        s.TempFiles.push_back((s.workDir / object).lexically_normal().string());
}

// Waits up to four seconds for Prog.bin, then scrambles it into prog_c.bin.
bool FinishBuild(Job& s) {
    for (int n = 1; n <= 4; ++n) {
        if (n == 2) {
            s.ui.Say(ZT("build.making_prog", "Создание файла \"prog.bin\""));
            s.ui.ProcessMessages();
        }
        s.clock.SleepMs(1000);
        if (n >= 2) s.ui.Say(ZT("build.making_prog_n", "Создание файла \"prog.bin\" - {0}", n));
        s.ui.ProcessMessages();
        if (ExistsNoCase(s.workDir, "prog.bin")) break;
    }

    ImageLoad image = LoadImageFile(ResolveNoCase(s.workDir, "prog.bin"));
    if (image.error == ImageError::TooLarge) {
        s.ui.Say(ZT("file.too_large", "Файл {0} больше 65536 байт", "\"prog.bin\""));
        return false;
    }
    if (!image.Loaded()) {
        s.ui.Say(ZT("file.cannot_open", "Невозможно открыть файл {0}", "\"prog.bin\""));
        return false;
    }
    ScrambleImage(image.bytes);
    if (!WriteFileAtomic(ResolveNoCase(s.workDir, "prog_c.bin"), image.bytes)) {
        s.ui.Say(ZT("file.cannot_open", "Невозможно открыть файл {0}", "prog_c.bin"));
        return false;
    }
    s.ui.Say(ZT("build.ok", "Компиляция прошла успешно"));
    s.ui.AppendLine("");
    return true;
}

#ifdef _WIN32
bool BuildWithBatch(Job& s) {
    if (!BeginBuild(s)) return false;
    // A batch file that could not be written must not be replaced by a stale one.
    if (!WriteBatchFile(s)) {
        LogBuildFailed(s);
        return false;
    }
    const bool ran = RunBatchFile(BatchFilePath(s.exePath), s.workDir);
    ListObjectFile(s);
    if (!ran) {
        LogBuildFailed(s);
        return false;
    }
    return FinishBuild(s);
}
#endif

}  // namespace

std::string ObjectFileName(const std::string& asmFileName) {
    const std::size_t keep = asmFileName.size() >= 3 ? asmFileName.size() - 3 : 0;
    return asmFileName.substr(0, keep) + "r03";
}

std::vector<std::string> BatchFileLines(const std::string& asmFileName) {
    return {"@echo off", "A8051.exe " + asmFileName, "pause",
            "Xlink.exe " + ObjectFileName(asmFileName) + " -o Prog.bin -c8051 -FMPDS-CODE",
            "pause"};
}

fs::path BatchFilePath(const fs::path& exePath) {
    if (exePath.empty()) return {};
    fs::path p = exePath;
    return p.replace_extension(".bat");
}

bool IsPlainAsmFileName(const std::string& name) {
    static constexpr std::string_view kSpecial = "\"'&|<>;$`%^/\\:";
    if (name.empty() || name.front() == '-') return false;
    for (char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c == 0x7F) return false;  // blanks and control characters
        if (kSpecial.find(ch) != std::string_view::npos) return false;
    }
    return true;
}

bool BuildWithRunner(Job& s, BuildToolRunner& runner, BuildOutcome* outcome) {
    BuildOutcome ignored;
    BuildOutcome& result = outcome ? *outcome : ignored;
    result = BuildOutcome::Failed;
    if (!BeginBuild(s)) return false;
    WriteBatchFile(s);  // the command lines, for the record; not run here

    const std::string& asmName = s.settings.AsmFileName;
    auto show = [&s](const std::string& line) {
        s.ui.AppendLine(line);
        s.ui.ProcessMessages();
    };
    auto ran = [&s](ToolRun run, const char* program) {
        if (run == ToolRun::Finished) return true;
        if (run == ToolRun::NotFound)
            s.ui.Say(ZT("build.tool_missing",
                        "Не найдена программа {0} (ни в рабочей папке, ни в PATH)", program));
        LogBuildFailed(s);
        return false;
    };
    const ToolRun assembled = runner.Run("A8051.exe", {asmName}, s.workDir, show);
    ListObjectFile(s);
    if (!ran(assembled, "A8051.exe")) return false;
    if (!s.ui.AskOkCancel(
            Render(ZT("build.ask_link", "Ассемблирование завершено. Продолжить компоновку?")),
            s.caption, MessageIcon::Question)) {
        s.ui.Say(ZT("build.link_cancelled", "Компоновка отменена"));
        s.ui.AppendLine("");
        result = BuildOutcome::Declined;
        return false;
    }
    if (!ran(runner.Run("Xlink.exe",
                        {ObjectFileName(asmName), "-o", "Prog.bin", "-c8051", "-FMPDS-CODE"},
                        s.workDir, show),
             "Xlink.exe"))
        return false;
    if (!FinishBuild(s)) return false;
    result = BuildOutcome::Built;
    return true;
}

BuildOutcome CompileProgram(Job& s) {
#ifdef _WIN32
    return BuildWithBatch(s) ? BuildOutcome::Built : BuildOutcome::Failed;
#else
    const std::unique_ptr<BuildToolRunner> runner = MakeSystemToolRunner();
    BuildOutcome outcome = BuildOutcome::Failed;
    BuildWithRunner(s, *runner, &outcome);
    return outcome;
#endif
}

bool BuildFirmware(Job& s) {
    return CompileProgram(s) == BuildOutcome::Built;
}

}  // namespace zentor
