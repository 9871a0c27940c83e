# Cross build of setup.exe: 32-bit Windows, GUI subsystem, statically linked.
# The 64-bit build (mingw-x86_64.cmake) names its own compilers and reads
# this file for everything else.
if(NOT QEL_MINGW_PREFIX)
  set(QEL_MINGW_PREFIX i686-w64-mingw32)
endif()
set(CMAKE_SYSTEM_NAME Windows)
string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR ${QEL_MINGW_PREFIX})
set(CMAKE_C_COMPILER ${QEL_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${QEL_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${QEL_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QEL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Every program of the build runs without DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
