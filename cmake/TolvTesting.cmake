# Test executables are GoogleTest programs run under Wine, one ctest test each.
# They all share one Wine prefix, created afresh once per test run by a fixture.

set(TOLV_WINEPREFIX ${CMAKE_BINARY_DIR}/test-wineprefix)

# Paths that a test process under Wine can open: Wine maps Z: to the Linux root.
set(TOLV_TEST_DATA "Z:${CMAKE_SOURCE_DIR}/tests/data")
set(TOLV_BIN_DIR "Z:${CMAKE_BINARY_DIR}/bin")

function(tolv_setup_test_fixture)
    add_test(NAME wine_prefix
             COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix ${TOLV_WINEPREFIX})
    set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
endfunction()

# tolv_add_test(name [BOTH_CODE_PAGES] SOURCES files... [LIBS libs...] [DEPENDS targets...])
#
# Test programs take the program's text encoding from the checker's manifest (UTF-8 for
# every narrow call). Each runs under a Western system code page (1252); with
# BOTH_CODE_PAGES it runs a second time, as name_rus, under the Russian one (1251), which
# Wine takes from the locale.
function(tolv_add_test name)
    cmake_parse_arguments(T "BOTH_CODE_PAGES" "" "SOURCES;LIBS;DEPENDS" ${ARGN})
    add_executable(${name} ${T_SOURCES} $<TARGET_OBJECTS:tolv_utf8_manifest>)
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    target_compile_definitions(${name} PRIVATE TOLV_TEST_DATA="${TOLV_TEST_DATA}"
                                               TOLV_BIN_DIR="${TOLV_BIN_DIR}")
    if(T_DEPENDS)
        add_dependencies(${name} ${T_DEPENDS})
    endif()
    set(locales C.UTF-8)
    if(T_BOTH_CODE_PAGES)
        list(APPEND locales ru_RU.UTF-8)
    endif()
    foreach(locale ${locales})
        set(test ${name})
        if(locale STREQUAL "ru_RU.UTF-8")
            set(test ${name}_rus)
        endif()
        add_test(NAME ${test} COMMAND ${name} WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
        set_tests_properties(${test} PROPERTIES
            FIXTURES_REQUIRED wine
            TIMEOUT 600
            ENVIRONMENT "LC_ALL=${locale};WINEPREFIX=${TOLV_WINEPREFIX};WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=d")
    endforeach()
endfunction()

# What there is one of per machine, whichever test process holds it: the journal folder,
# where a start recovers every killed run it finds, and the Device library's exclusive use,
# which refuses a second holder. Tests that start tolvarin.exe, kill runs or open the
# library exclusively take this lock, so that ctest -j runs them one at a time.
function(tolv_uses_machine_state name)
    set_property(TEST ${name} APPEND PROPERTY RESOURCE_LOCK machine_state)
endfunction()
