set(CMAKE_C_COMPILER ${TOLV_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOLV_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TOLV_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TOLV_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Static runtime: the program's folder must run on a bare Windows machine.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Test executables run under Wine; the wrapper picks the project's own prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
