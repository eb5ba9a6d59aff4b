# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the web site's stylesheet and script into a C++ header as raw
# string literals: cmake -DCSS=style.css -DJS=qorvex.js -DOUT=web_assets.h -P embed.cmake
set(delimiter "qorvex_web")
file(READ "${CSS}" css)
file(READ "${JS}" js)
foreach(text IN ITEMS "${css}" "${js}")
  string(FIND "${text}" ")${delimiter}\"" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "a web asset holds the literal's end )${delimiter}\"")
  endif()
endforeach()
file(WRITE "${OUT}.new"
  "// Generated from app/core/web/style.css and qorvex.js by embed.cmake: the\n"
  "// web site's stylesheet and script.\n"
  "#pragma once\n\n#include <string_view>\n\nnamespace qorvex::web {\n\n"
  "inline constexpr std::string_view kStyleCss = R\"${delimiter}(${css})${delimiter}\";\n\n"
  "inline constexpr std::string_view kQorvexJs = R\"${delimiter}(${js})${delimiter}\";\n\n"
  "}  // namespace qorvex::web\n")
file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.new")
