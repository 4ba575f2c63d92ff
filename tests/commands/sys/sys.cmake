# Tests of the file and registry commands. Included from
# tests/commands/CMakeLists.txt.
set(_sys ${CMAKE_CURRENT_LIST_DIR})
tolv_add_test(syscommand_tests
    SOURCES ${_sys}/RegistryHelpersTest.cpp ${_sys}/RestartFileOpsTest.cpp
            ${_sys}/RegistryCommandsTest.cpp ${_sys}/FileCommandsTest.cpp
            ${_sys}/EndToEndTest.cpp
    LIBS tolv_engine)
