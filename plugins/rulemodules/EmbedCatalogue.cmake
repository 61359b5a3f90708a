# Turns a rule catalogue into a C++ source holding its bytes, so each module
# carries its catalogue inside the library.
# Usage: cmake -DINPUT=catalogue.xml -DOUTPUT=catalogue.cpp -P EmbedCatalogue.cmake
file(READ "${INPUT}" _hex HEX)
string(LENGTH "${_hex}" _hexLength)
math(EXPR _size "${_hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," _bytes "${_hex}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from the module's rule catalogue; edit the catalogue instead.\n"
  "#include <cstddef>\n"
  "extern const char kRuleCatalogue[];\n"
  "extern const std::size_t kRuleCatalogueSize;\n"
  "const char kRuleCatalogue[] = {${_bytes}0};\n"
  "const std::size_t kRuleCatalogueSize = ${_size};\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
