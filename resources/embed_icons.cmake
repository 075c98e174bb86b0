# Writes a C++ source holding the icon files as byte arrays (run with cmake -P).
# In: ICON_DIR, ICON_SIZES (list of PNG sizes), OUTPUT.

function(append_array name path)
    file(READ ${path} hex HEX)
    string(LENGTH "${hex}" digits)
    math(EXPR count "${digits} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
    # 16 bytes to a line keeps the generated file readable (CMake's regular
    # expressions have no {n}, hence the repeated group).
    string(REPEAT "'[^']*'," 16 line)
    string(REGEX REPLACE "(${line})" "\\1\n    " bytes "${bytes}")
    string(APPEND content
        "alignas(8) const char ${name}[${count}] = {\n    ${bytes}\n};\n")
    set(content "${content}" PARENT_SCOPE)
endfunction()

set(content "// Generated from resources/icons by embed_icons.cmake; do not edit.\n")
string(APPEND content "#include <string_view>\n#include <utility>\n\n")
string(APPEND content "namespace folio::resources::generated {\n\n")
append_array(icon_svg ${ICON_DIR}/foliolens.svg)
append_array(icon_ico ${ICON_DIR}/foliolens.ico)
set(entries "    {0, std::string_view(icon_svg, sizeof icon_svg)},\n")
foreach(size IN LISTS ICON_SIZES)
    append_array(icon_png_${size} ${ICON_DIR}/foliolens-${size}.png)
    string(APPEND entries
        "    {${size}, std::string_view(icon_png_${size}, sizeof icon_png_${size})},\n")
endforeach()
string(APPEND content "\nextern const std::pair<int, std::string_view> kIconFiles[];\n")
string(APPEND content "const std::pair<int, std::string_view> kIconFiles[] = {\n${entries}};\n")
list(LENGTH ICON_SIZES png_count)
math(EXPR file_count "${png_count} + 1")
string(APPEND content "extern const int kIconFileCount;\nconst int kIconFileCount = ${file_count};\n")
string(APPEND content "extern const std::string_view kIconIco;\n")
string(APPEND content "const std::string_view kIconIco(icon_ico, sizeof icon_ico);\n")
string(APPEND content "\n}  // namespace folio::resources::generated\n")

# Rewrite only on change, so that an unchanged icon rebuilds nothing.
if(EXISTS ${OUTPUT})
    file(READ ${OUTPUT} previous)
    if(previous STREQUAL content)
        return()
    endif()
endif()
file(WRITE ${OUTPUT} "${content}")
