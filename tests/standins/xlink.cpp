// Stand-in for the linker "Xlink.exe": expects exactly
//   <object> -o Prog.bin -c8051 -FMPDS-CODE
// prints what it got, reads the object written by the A8051 stand-in and
// writes Prog.bin holding the source bytes carried in it.
//
// Environment:
//   ZENTOR_XLINK_MODE=none      link error, no Prog.bin
//   ZENTOR_XLINK_MODE=empty     Prog.bin of zero bytes
//   ZENTOR_XLINK_PAYLOAD=<file> Prog.bin gets that file's bytes
//   ZENTOR_XLINK_DELAY_MS=<n>   exit at once; Prog.bin appears n ms later,
//                               written by a detached child
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

bool ReadFile(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// Whole file under a temporary name first, so a reader never sees part of it.
bool WriteImage(const std::string& bytes) {
    {
        std::ofstream out("Prog.bin.part", std::ios::binary | std::ios::trunc);
        out << bytes;
        if (!out) return false;
    }
    return std::rename("Prog.bin.part", "Prog.bin") == 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string line = "Xlink.exe";
    for (int i = 1; i < argc; ++i) line += std::string(" ") + argv[i];
    std::printf("%s\n", line.c_str());
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() != 5 || args[1] != "-o" || args[2] != "Prog.bin" || args[3] != "-c8051" ||
        args[4] != "-FMPDS-CODE") {
        std::fprintf(stderr, "Xlink: unexpected arguments\n");
        return 2;
    }
    std::string object;
    if (!ReadFile(args[0], object) || object.compare(0, 4, "R03\n") != 0) {
        std::printf("Xlink: cannot open object file %s\n", args[0].c_str());
        return 1;
    }

    const std::string mode = Env("ZENTOR_XLINK_MODE");
    if (mode == "none") {
        std::printf("Xlink: error: undefined symbol\n");
        return 1;
    }
    std::string image = object.substr(4);
    if (mode == "empty") image.clear();
    const std::string payload = Env("ZENTOR_XLINK_PAYLOAD");
    if (!payload.empty() && !ReadFile(payload, image)) {
        std::printf("Xlink: cannot read %s\n", payload.c_str());
        return 1;
    }
    // Windows-1251 text, as the tool's own messages come.
    std::printf("\xCE\xF8\xE8\xE1\xEE\xEA: 0\n");
    std::fflush(stdout);

    const int delayMs = std::atoi(Env("ZENTOR_XLINK_DELAY_MS").c_str());
    if (delayMs > 0) {
        if (fork() != 0) return 0;
        // Detached: let go of the caller's output pipe before waiting.
        setsid();
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    }
    return WriteImage(image) ? 0 : 1;
}
