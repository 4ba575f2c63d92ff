# Tests of the registry and restart-time helpers below the file and registry commands, and
# of the system commands. Included from tests/commands/CMakeLists.txt.
set(_sys ${CMAKE_CURRENT_LIST_DIR})
add_executable(runprobe ${_sys}/RunProbe.cpp)
tolv_add_test(syscommand_tests
    SOURCES ${_sys}/RegistryHelpersTest.cpp ${_sys}/RestartFileOpsTest.cpp
            ${_sys}/SystemCommandsTest.cpp
    LIBS tolv_engine
    DEPENDS runprobe)
