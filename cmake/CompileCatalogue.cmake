# Compiles Qt Linguist files (translations/norvo_<language>.ts) into a C++ table for builds
# without Qt, read through text/TextCatalogue.h. Run as a script:
#   cmake -DOUTPUT=catalogue.cpp "-DCATALOGUES=a.ts;b.ts" -P CompileCatalogue.cmake
# Takes what lrelease -nounfinished takes: finished translations of the context "norvo" (the
# namespace the program looks its texts up under). Every text is written as hex escapes, so no
# byte of a translation can end up as C++ syntax.

# The characters a .ts file holds, as CMake keeps them: semicolons would split the text into a
# list and square brackets would keep it from splitting, so they travel as bytes XML text
# cannot hold until the text is complete.
string(ASCII 1 semicolon_stand_in)
string(ASCII 2 open_bracket_stand_in)
string(ASCII 3 close_bracket_stand_in)

function(xml_text raw out)
  set(text "${raw}")
  # <byte value="xd"/>: a character XML cannot hold (the CR of a CR LF in a message).
  string(REGEX MATCHALL "<byte value=\"x?[0-9a-fA-F]+\"/>" bytes "${text}")
  foreach(element IN LISTS bytes)
    string(REGEX REPLACE "<byte value=\"(x?)([0-9a-fA-F]+)\"/>" "\\1" hex "${element}")
    string(REGEX REPLACE "<byte value=\"(x?)([0-9a-fA-F]+)\"/>" "\\2" digits "${element}")
    if(hex)
      math(EXPR value "0x${digits}")
    else()
      math(EXPR value "${digits}")
    endif()
    if(value LESS 1 OR value GREATER 127)
      message(FATAL_ERROR "${CATALOGUE}: ${element} is no ASCII character")
    endif()
    string(ASCII ${value} character)
    string(REPLACE "${element}" "${character}" text "${text}")
  endforeach()
  if(text MATCHES "<")
    message(FATAL_ERROR "${CATALOGUE}: markup inside a text: ${raw}")
  endif()
  if(text MATCHES "&#")
    message(FATAL_ERROR "${CATALOGUE}: character references are not read here: ${raw}")
  endif()
  string(REGEX REPLACE "&(lt|gt|quot|apos|amp)${semicolon_stand_in}" "" probe "${text}")
  if(probe MATCHES "&")
    message(FATAL_ERROR "${CATALOGUE}: unknown entity in: ${raw}")
  endif()
  string(REPLACE "&lt${semicolon_stand_in}" "<" text "${text}")
  string(REPLACE "&gt${semicolon_stand_in}" ">" text "${text}")
  string(REPLACE "&quot${semicolon_stand_in}" "\"" text "${text}")
  string(REPLACE "&apos${semicolon_stand_in}" "'" text "${text}")
  string(REPLACE "&amp${semicolon_stand_in}" "&" text "${text}")
  string(REPLACE "${semicolon_stand_in}" ";" text "${text}")
  string(REPLACE "${open_bracket_stand_in}" "[" text "${text}")
  string(REPLACE "${close_bracket_stand_in}" "]" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# `text` as a C++ literal of hex escapes ("\xe3\x83..."sv).
function(cxx_literal text out)
  string(HEX "${text}" hex)
  string(REGEX REPLACE "(..)" "\\\\x\\1" escaped "${hex}")
  set(${out} "\"${escaped}\"sv" PARENT_SCOPE)
endfunction()

set(tables "")
set(languages "")
foreach(CATALOGUE IN LISTS CATALOGUES)
  get_filename_component(name "${CATALOGUE}" NAME_WE)
  if(NOT name MATCHES "^norvo_([A-Za-z0-9_]+)$")
    message(FATAL_ERROR "${CATALOGUE}: not named norvo_<language>.ts")
  endif()
  set(language "${CMAKE_MATCH_1}")
  file(READ "${CATALOGUE}" content)
  string(REPLACE ";" "${semicolon_stand_in}" content "${content}")
  string(REPLACE "[" "${open_bracket_stand_in}" content "${content}")
  string(REPLACE "]" "${close_bracket_stand_in}" content "${content}")
  if(content MATCHES "numerus=\"yes\"")
    message(FATAL_ERROR "${CATALOGUE}: plural forms are not read here")
  endif()
  # One list element per context, then one per message.
  string(REPLACE "</context>" ";" contexts "${content}")
  set(entries "")
  set(count 0)
  foreach(context IN LISTS contexts)
    if(NOT context MATCHES "<name>([^<]*)</name>" OR NOT CMAKE_MATCH_1 STREQUAL "norvo")
      continue()
    endif()
    string(REPLACE "</message>" ";" messages "${context}")
    foreach(message IN LISTS messages)
      if(NOT message MATCHES "<source>(.*)</source>")
        continue()
      endif()
      xml_text("${CMAKE_MATCH_1}" source)
      # Unfinished, vanished and obsolete translations carry a type; lrelease leaves them out.
      if(NOT message MATCHES "<translation>(.*)</translation>")
        continue()
      endif()
      xml_text("${CMAKE_MATCH_1}" translation)
      if(translation STREQUAL "")
        continue()
      endif()
      cxx_literal("${source}" source_literal)
      cxx_literal("${translation}" translation_literal)
      string(APPEND entries "    {${source_literal},\n     ${translation_literal}},\n")
      math(EXPR count "${count} + 1")
    endforeach()
  endforeach()
  if(count EQUAL 0)
    message(FATAL_ERROR "${CATALOGUE}: no finished translation")
  endif()
  string(APPEND tables "// ${name}.ts: ${count} texts.\nconstexpr CatalogueEntry k_${language}[] = {\n${entries}};\n\n")
  string(APPEND languages "    {\"${language}\"sv, k_${language}},\n")
endforeach()

set(generated "// Generated at build time by cmake/CompileCatalogue.cmake from translations/*.ts.

#include <string_view>

#include \"text/TextCatalogue.h\"

namespace norvo {

namespace {

using namespace std::string_view_literals;

${tables}constexpr CatalogueLanguage kLanguages[] = {
${languages}};

}  // namespace

std::span<const CatalogueLanguage> CompiledLanguages() {
    return kLanguages;
}

}  // namespace norvo
")
file(WRITE "${OUTPUT}" "${generated}")
