# The native build (cmake --preset native): the engine core, the string and integer
# commands and their tests, the checker pxfcheck, compiled by clang with AddressSanitizer and
# UndefinedBehaviorSanitizer, and the libFuzzer target of fuzz/. Nothing here needs
# Windows: it is the proof that the core stands alone.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "The native build needs clang (libFuzzer and the sanitizers)")
endif()

set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)

set(TOLV_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all
                  -fno-omit-frame-pointer)
add_compile_options(-Wall -Wextra ${TOLV_SANITIZE})
add_link_options(${TOLV_SANITIZE})

add_subdirectory(engine)

# The engine of the native build: core and string and integer commands (NativeEngine.cpp
# opens them), with the silent host for the tests and the fuzz target.
add_library(tolv_native_engine STATIC
    commands/DataCommands.cpp
    commands/NativeEngine.cpp
    install/SilentInstallHost.cpp)
target_link_libraries(tolv_native_engine PUBLIC tolv_core)

# The checker, for editors that run on Linux: the same sources as pxfcheck.exe, over the
# core and the command catalogue (which needs no Windows either).
add_library(tolv_native_catalog STATIC commands/CommandCatalog.cpp)
target_link_libraries(tolv_native_catalog PUBLIC tolv_core)
add_executable(pxfcheck tools/pxfcheck/main.cpp tools/pxfcheck/Checker.cpp
                        tools/pxfcheck/CatalogJson.cpp)
target_link_libraries(pxfcheck PRIVATE tolv_native_catalog)
set_target_properties(pxfcheck PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

enable_testing()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(t gtest gtest_main)
    target_compile_options(${t} PRIVATE -w)
endforeach()

add_executable(native_tests
    tests/engine/TableTest.cpp
    tests/engine/LoaderTest.cpp
    tests/engine/InterpreterTest.cpp
    tests/engine/FuzzCorpusTest.cpp)
target_link_libraries(native_tests PRIVATE tolv_fuzz_run GTest::gtest_main)
target_include_directories(native_tests PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(native_tests PRIVATE
    TOLV_CATALOGUE="${PROJECT_SOURCE_DIR}/tests/catalogue"
    TOLV_FUZZ_CORPUS="${PROJECT_SOURCE_DIR}/fuzz/corpus")
add_test(NAME native_tests COMMAND native_tests)
set_tests_properties(native_tests PROPERTIES TIMEOUT 300)

include(cmake/LayerCheck.cmake)
add_subdirectory(fuzz)
