// Stand-in for the external linker: "Xlink.exe <object> -o Prog.bin -c8051
// -FMPDS-CODE". Writes the source bytes carried in the object file to Prog.bin.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char** argv) {
    const char* expected[] = {"-o", "Prog.bin", "-c8051", "-FMPDS-CODE"};
    if (argc != 6) {
        std::fprintf(stderr, "Xlink: expected 5 arguments, got %d\n", argc - 1);
        return 2;
    }
    for (int i = 0; i < 4; ++i) {
        if (std::strcmp(argv[i + 2], expected[i]) != 0) {
            std::fprintf(stderr, "Xlink: argument %d is \"%s\", expected \"%s\"\n", i + 2,
                         argv[i + 2], expected[i]);
            return 2;
        }
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::string object((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto eol = object.find('\n');
    if (object.compare(0, 4, "R03 ") != 0 || eol == std::string::npos) {
        std::fprintf(stderr, "Xlink: %s is not an object file\n", argv[1]);
        return 1;
    }
    std::ofstream out("Prog.bin", std::ios::binary | std::ios::trunc);
    out << object.substr(eol + 1);
    if (!out.flush()) return 1;
    std::printf("Xlink: %s -> Prog.bin\n", argv[1]);
    return 0;
}
