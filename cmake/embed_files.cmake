# Writes a C++ source that holds files as byte arrays, so that the binary
# carries them (the chart libraries and the page of the HTML report).
# Run as: cmake -DOUTPUT=<file.cpp> -DNAMES=<n1|n2> -DFILES=<f1|f2> -P embed_files.cmake
# Each name becomes `extern const std::string_view <name>;` in namespace orthomix::embedded.
string(REPLACE "|" ";" NAMES "${NAMES}")
string(REPLACE "|" ";" FILES "${FILES}")
list(LENGTH NAMES count)
list(LENGTH FILES fileCount)
if(NOT count EQUAL fileCount)
  message(FATAL_ERROR "embed_files: ${count} names for ${fileCount} files")
endif()
set(text "// Generated at build time from the files named below; do not edit.\n#include <string_view>\n\nnamespace orthomix::embedded {\n")
math(EXPR last "${count} - 1")
foreach(i RANGE ${last})
  list(GET NAMES ${i} name)
  list(GET FILES ${i} file)
  file(READ "${file}" hex HEX)
  string(LENGTH "${hex}" hexLength)
  math(EXPR size "${hexLength} / 2")
  # Sixteen bytes a line keeps the generated file readable in an editor.
  string(REGEX REPLACE "([0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f])" "\\1\n" hex "${hex}")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
  get_filename_component(base "${file}" NAME)
  string(APPEND text "\n// ${base}, ${size} bytes\nstatic const unsigned char ${name}Bytes[] = {\n${hex}0x00};\n"
         "extern const std::string_view ${name};\n"
         "const std::string_view ${name}(reinterpret_cast<const char*>(${name}Bytes), ${size});\n")
endforeach()
string(APPEND text "\n}  // namespace orthomix::embedded\n")
file(WRITE "${OUTPUT}.tmp" "${text}")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
