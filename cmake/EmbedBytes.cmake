# cmake -DINPUT=FILE -DOUTPUT=SOURCE -DNAME=NAME -P EmbedBytes.cmake: writes a
# C++ source defining the bytes of FILE as NAME and their count as NAMESize.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# Lines of 16 bytes, readable in a diff of two builds.
string(REGEX REPLACE "((0x..,){16})" "\\1\n  " bytes "${bytes}")
file(WRITE "${OUTPUT}.new"
  "// The bytes of ${NAME}, written by cmake/EmbedBytes.cmake.\n"
  "#include <cstddef>\n\n"
  "extern const unsigned char ${NAME}[] = {\n  ${bytes}0};\n"
  "extern const size_t ${NAME}Size = ${size};\n")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
