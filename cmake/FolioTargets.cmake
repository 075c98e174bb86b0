# folio_core_part(NAME DIR...): an object library of the core made of every .cpp in
# the given folders (relative to src/). Core parts include no Qt and no OS header.
function(folio_core_part name)
    set(sources)
    foreach(dir IN LISTS ARGN)
        file(GLOB found CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${dir}/*.cpp)
        list(APPEND sources ${found})
    endforeach()
    if(NOT sources)
        return()
    endif()
    add_library(${name} OBJECT ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC folio_ports folio_imaging)
    set_property(GLOBAL APPEND PROPERTY FOLIO_CORE_PARTS ${name})
endfunction()

# folio_test(NAME SOURCES... LIBS libs...): a GoogleTest executable registered with CTest.
function(folio_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest GTest::gtest_main)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
                   ENVIRONMENT_MODIFICATION "FOLIO_SOURCE_DIR=set:${PROJECT_SOURCE_DIR}")
endfunction()
