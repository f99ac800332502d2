// Stand-in for the 8051 assembler "A8051.exe": takes one source file name,
// prints what it got, and writes the object file (source name without its
// last three characters, then "r03") holding a header and the source bytes.
//
// Environment: ZENTOR_A8051_FAIL=1 reports an assembly error and writes nothing.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char** argv) {
    std::string line = "A8051.exe";
    for (int i = 1; i < argc; ++i) line += std::string(" ") + argv[i];
    std::printf("%s\n", line.c_str());
    if (argc != 2) {
        std::fprintf(stderr, "A8051: expected one source file\n");
        return 2;
    }
    const std::string source = argv[1];
    const char* fail = std::getenv("ZENTOR_A8051_FAIL");
    if (fail && std::string(fail) == "1") {
        std::printf("%s(1): error: unknown mnemonic\n", source.c_str());
        return 1;
    }
    std::ifstream in(source, std::ios::binary);
    if (!in) {
        std::printf("A8051: cannot open %s\n", source.c_str());
        return 1;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string object = source.substr(0, source.size() >= 3 ? source.size() - 3 : 0) + "r03";
    std::ofstream out(object, std::ios::binary | std::ios::trunc);
    out << "R03\n" << text;
    out.close();
    if (!out) {
        std::printf("A8051: cannot write %s\n", object.c_str());
        return 1;
    }
    std::printf("%s written, 0 errors\n", object.c_str());
    return 0;
}
