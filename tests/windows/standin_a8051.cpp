// Stand-in for the external 8051 assembler: "A8051.exe <source>". Writes the
// object file <source minus its last three characters>r03 holding a header line
// and the source bytes.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "A8051: expected one source file, got %d arguments\n", argc - 1);
        return 2;
    }
    std::string source = argv[1];
    std::ifstream in(source, std::ios::binary);
    if (!in || source.size() < 3) {
        std::fprintf(stderr, "A8051: cannot read %s\n", source.c_str());
        return 1;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string object = source.substr(0, source.size() - 3) + "r03";
    std::ofstream out(object, std::ios::binary | std::ios::trunc);
    out << "R03 " << source << "\n" << text;
    if (!out.flush()) return 1;
    std::printf("A8051: %s -> %s\n", source.c_str(), object.c_str());
    return 0;
}
