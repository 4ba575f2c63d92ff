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

# The checker, for editors that run on Linux: the same sources as pxfcheck.exe, with the
# command catalogue and the tokenizer it reads (neither needs Windows). An editor runs it on
# every change, so it is built optimized and without the sanitizers: their start and exit
# would cost more than the check of a long file.
get_target_property(core_sources tolv_core SOURCES)
list(TRANSFORM core_sources PREPEND engine/)
add_executable(pxfcheck tools/pxfcheck/main.cpp tools/pxfcheck/Checker.cpp
                        tools/pxfcheck/CatalogJson.cpp commands/CommandCatalog.cpp
                        ${core_sources} engine/RunObserver.cpp)
target_include_directories(pxfcheck PRIVATE ${PROJECT_SOURCE_DIR})
set_target_properties(pxfcheck PROPERTIES COMPILE_OPTIONS "-Wall;-Wextra;-O2" LINK_OPTIONS ""
                                          RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

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
