# The include-layering check's input, written at configure time: for every target of
# ours its kind, its sources, the targets it links, privately and publicly, and the
# order of its folders when it declares one. The check (tests/layering) maps each
# `#include "..."` to the target owning the header and fails when the including target
# does not link it, when it reaches into a later folder of the same library, or when
# includes inside a target go round in a circle.
#
# A library declares its folder order next to its source list:
#     set_property(TARGET folio_engine PROPERTY FOLIO_FOLDER_ORDER image tiff decode)
# Each folder may include only itself and the folders before it; a folder named but
# not there yet is allowed.

# Includes into a later folder allowed for now, each "INCLUDING FILE -> INCLUDED FILE"
# from the top of the tree. Empty it as they go: an entry that no include matches
# any more fails the check.
# None is left; the list stays for a move made in steps.
set(FOLIO_LAYERING_TEMPORARY_EXCEPTIONS)

# Targets of the core: no Qt header, no OS header, no third-party library header.
set(FOLIO_CORE_TARGETS folio_common folio_ports folio_imaging folio_cmdline folio_shell
                       folio_dialogs folio_app)
# Libraries below the Qt adapters: no Qt header.
set(FOLIO_QT_FREE_TARGETS folio_posix folio_engine folio_sys)

function(folio_collect_targets dir out)
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(sub IN LISTS subdirs)
        folio_collect_targets(${sub} found)
        list(APPEND targets ${found})
    endforeach()
    set(${out} ${targets} PARENT_SCOPE)
endfunction()

# Appends to the variable named `out` one line "<word> <target>" per target of ours in
# the property.
function(folio_manifest_links target property word out)
    get_target_property(libs ${target} ${property})
    set(lines "")
    foreach(lib IN LISTS libs)
        # A static library's private dependencies are linked, not used: no headers.
        if(lib MATCHES "^\\$<LINK_ONLY:" OR NOT TARGET "${lib}")
            continue()
        endif()
        get_target_property(imported ${lib} IMPORTED)
        if(NOT imported)
            string(APPEND lines "${word} ${lib}\n")
        endif()
    endforeach()
    set(${out} "${${out}}${lines}" PARENT_SCOPE)
endfunction()

function(folio_write_layering_manifest path)
    set(text "")
    foreach(dir src tools tests resources samples bench fuzz)
        string(APPEND text "tree ${PROJECT_SOURCE_DIR}/${dir}\n")
    endforeach()
    foreach(dir src tests resources)
        string(APPEND text "root ${PROJECT_SOURCE_DIR}/${dir}\n")
    endforeach()
    string(APPEND text "root ${PROJECT_BINARY_DIR}/resources/generated\n")
    folio_collect_targets(${PROJECT_SOURCE_DIR} targets)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        if(type STREQUAL "UTILITY")
            continue()
        endif()
        set(kind other)
        if(target IN_LIST FOLIO_CORE_TARGETS)
            set(kind core)
        elseif(target IN_LIST FOLIO_QT_FREE_TARGETS)
            set(kind qt-free)
        endif()
        string(APPEND text "target ${target} ${kind} ${type}\n")
        get_target_property(source_dir ${target} SOURCE_DIR)
        get_target_property(sources ${target} SOURCES)
        foreach(source IN LISTS sources)
            if(source MATCHES "^\\$<" OR source STREQUAL "sources-NOTFOUND")
                continue()
            endif()
            cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${source_dir} NORMALIZE)
            string(APPEND text "source ${source}\n")
        endforeach()
        string(APPEND text "dir ${source_dir}\n")
        get_target_property(folders ${target} FOLIO_FOLDER_ORDER)
        if(folders)
            list(JOIN folders " " folders)
            string(APPEND text "folders ${folders}\n")
        endif()
        if(NOT type STREQUAL "INTERFACE_LIBRARY")
            folio_manifest_links(${target} LINK_LIBRARIES link text)
        endif()
        folio_manifest_links(${target} INTERFACE_LINK_LIBRARIES uses text)
    endforeach()
    foreach(exception IN LISTS FOLIO_LAYERING_TEMPORARY_EXCEPTIONS)
        if(NOT exception MATCHES "^(.+) -> (.+)$")
            message(FATAL_ERROR "FOLIO_LAYERING_TEMPORARY_EXCEPTIONS: \"${exception}\" is not \"FILE -> FILE\"")
        endif()
        cmake_path(ABSOLUTE_PATH CMAKE_MATCH_1 BASE_DIRECTORY ${PROJECT_SOURCE_DIR} NORMALIZE
                   OUTPUT_VARIABLE from)
        cmake_path(ABSOLUTE_PATH CMAKE_MATCH_2 BASE_DIRECTORY ${PROJECT_SOURCE_DIR} NORMALIZE
                   OUTPUT_VARIABLE to)
        string(APPEND text "allow ${from} -> ${to}\n")
    endforeach()
    file(WRITE ${path} "${text}")
endfunction()

set(FOLIO_LAYERING_MANIFEST ${PROJECT_BINARY_DIR}/include_layering.txt)
folio_write_layering_manifest(${FOLIO_LAYERING_MANIFEST})
add_test(NAME include_layering COMMAND include_layering ${FOLIO_LAYERING_MANIFEST})
set_tests_properties(include_layering PROPERTIES LABELS unit)
