# Cross build of the 64-bit Windows programs (build/win64): the same build as
# the 32-bit one with the x86_64 compilers (Debian g++-mingw-w64-x86-64).
set(QEL_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
