# folio_test(NAME SOURCES... LIBS libs... [LABELS labels...]): a GoogleTest executable
# registered with CTest, its tests labelled (unit unless told) so that a run can pick
# them: unit, engine, concurrency, viewer, cups, xvfb, install, fuzz.
function(folio_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
    if(NOT T_LABELS)
        set(T_LABELS unit)
    endif()
    add_executable(${name} ${T_SOURCES})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest GTest::gtest_main)
    # The test programs' own files only (the code they test keeps the build's flags).
    target_compile_options(${name} PRIVATE ${FOLIO_TEST_COMPILE_OPTIONS})
    if(FOLIO_PCH)
        # GoogleTest (and Qt for the programs that use it) is most of what each test file
        # parses; one parse per program instead of one per file.
        set(headers <gtest/gtest.h> <gmock/gmock.h>)
        if(folio_qt_test_support IN_LIST T_LIBS OR Qt6::Test IN_LIST T_LIBS)
            list(APPEND headers <QtWidgets/QtWidgets> <QtTest/QtTest>)
        endif()
        target_precompile_headers(${name} PRIVATE ${headers})
    endif()
    # Discovery when the tests run, not when they build: a build does not start every test
    # program (nor Qt) once more, and a program that cannot start fails as a test.
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 DISCOVERY_MODE PRE_TEST
        TEST_LIST ${name}_TESTS
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
                   ENVIRONMENT_MODIFICATION "FOLIO_SOURCE_DIR=set:${PROJECT_SOURCE_DIR}")
    # The labels, given once the tests are found: the discovery's PROPERTIES would split
    # a list of them into properties of their own.
    set(labels_script ${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake)
    file(WRITE ${labels_script}
        "foreach(test IN LISTS ${name}_TESTS)\n"
        "    set_tests_properties(\"\${test}\" PROPERTIES LABELS \"${T_LABELS}\")\n"
        "endforeach()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${labels_script})
endfunction()
