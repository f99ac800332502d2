# cmake -DINPUT=<file> -DOUTPUT=<file.cpp> -P embed_mo.cmake: the file's bytes as
# the English catalogue of text/catalogue.h.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" length)
math(EXPR size "${length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes
       "${bytes}")
file(WRITE ${OUTPUT}.tmp
  "// Generated from ${INPUT} by cmake/embed_mo.cmake.\n"
  "#include \"text/catalogue.h\"\n\n"
  "namespace zentor {\n\nnamespace {\n"
  "alignas(4) const std::uint8_t kEnglishMo[${size} + 1] = {\n${bytes}0};\n"
  "}  // namespace\n\n"
  "std::span<const std::uint8_t> EnglishMoBytes() {\n"
  "    return {kEnglishMo, ${size}};\n}\n\n}  // namespace zentor\n")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
