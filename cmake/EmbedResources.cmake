# Writes a C++ file holding each input file as a byte array named after its file name, with the
# lookup functions declared in editor/resources/Resources.h. Runs in CMake itself, so a cross
# build needs no program built for the build machine; the text is the same as qbfx_embed writes.
#   cmake -P EmbedResources.cmake <out.cpp> <files...>
cmake_minimum_required(VERSION 3.20)

# The arguments after the script's own name.
set(args "")
set(first -1)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE 1 ${last})
  if(first EQUAL -1 AND CMAKE_ARGV${i} STREQUAL "-P")
    math(EXPR first "${i} + 2")
  elseif(first GREATER 0 AND i GREATER_EQUAL first)
    list(APPEND args "${CMAKE_ARGV${i}}")
  endif()
endforeach()
list(POP_FRONT args out_file)
if(NOT out_file)
  message(FATAL_ERROR "usage: cmake -P EmbedResources.cmake out.cpp files...")
endif()

set(hex_digits 0 1 2 3 4 5 6 7 8 9 a b c d e f)
set(out "// Generated at build time; do not edit.\n#include \"editor/resources/Resources.h\"\n\nnamespace {\n")
set(names "")
set(index 0)
foreach(path ${args})
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "cannot read ${path}")
  endif()
  file(READ "${path}" hex HEX)
  get_filename_component(name "${path}" NAME)
  list(APPEND names "${name}")
  if(hex STREQUAL "")
    set(body "0\n")
  else()
    # 24 bytes a line, each line opened by a newline; every byte marked as xHH, then made decimal.
    string(REGEX REPLACE "([0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f])"
           "\\1\n" body "${hex}")
    if(NOT body MATCHES "\n$")
      string(APPEND body "\n")
    endif()
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "x\\1," body "\n${body}")
    set(value 0)
    foreach(high ${hex_digits})
      foreach(low ${hex_digits})
        string(REPLACE "x${high}${low}," "${value}," body "${body}")
        math(EXPR value "${value} + 1")
      endforeach()
    endforeach()
  endif()
  string(APPEND out "alignas(16) const uint8_t R${index}[] = {${body}};\n")
  math(EXPR index "${index} + 1")
endforeach()

string(APPEND out "struct Entry { std::string_view Name; std::span<const uint8_t> Data; };\nconst Entry kEntries[] = {\n")
set(index 0)
foreach(name ${names})
  string(APPEND out "    {\"${name}\", R${index}},\n")
  math(EXPR index "${index} + 1")
endforeach()
string(APPEND out "};\nconst std::string_view kNames[] = {\n")
foreach(name ${names})
  string(APPEND out "    \"${name}\",\n")
endforeach()
string(APPEND out "};\n}  // namespace\n\n"
       "std::span<const uint8_t> Resource(std::string_view name) {\n"
       "    for (const Entry& e : kEntries)\n"
       "        if (e.Name == name) return e.Data;\n"
       "    return {};\n}\n\n"
       "std::span<const std::string_view> ResourceNames() { return kNames; }\n")
file(WRITE "${out_file}" "${out}")
