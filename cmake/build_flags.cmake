# Flags of the builds that ship (Release, no sanitizer): small programs, and
# the same bytes from the same commit wherever and whenever it is built.
# The kit's programs add a few of their own (packaging/kit.cmake).
set(QEL_SHIPPING_BUILD OFF)
if(CMAKE_BUILD_TYPE STREQUAL "Release" AND NOT QEL_SANITIZE AND NOT QEL_TSAN AND NOT QEL_FUZZ)
  set(QEL_SHIPPING_BUILD ON)
endif()

if(QEL_SHIPPING_BUILD)
  # Functions and data nothing calls are dropped at link time.
  add_compile_options(-ffunction-sections -fdata-sections)
  add_link_options(-Wl,--gc-sections)
  # No build directory in any binary (__FILE__ of assertions, debug info).
  add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/= -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
  if(WIN32)
    # The PE header's time stamp would be the link time.
    add_link_options(-Wl,--no-insert-timestamp)
    # Built for size: the unwind tables of the Windows toolchains keep every
    # function of an object the link takes, so unused-section removal frees
    # little there. The time of the Windows programs goes to system calls and
    # to zlib (built by Debian, -O2), not to code compiled here. It takes the
    # place of the Release build's -O3 (an -Os after -O3 does not give the
    # code of -Os alone).
    string(REGEX REPLACE "(^| )-O[0-9s]( |$)" "\\1-Os\\2" CMAKE_CXX_FLAGS_RELEASE "${CMAKE_CXX_FLAGS_RELEASE}")
    # GCC 12 at -Os takes an engaged std::optional for "maybe uninitialized"
    # where -O2 and -O3 see through it; the Linux build, which compiles the
    # same code, keeps the warning.
    add_compile_options(-Wno-maybe-uninitialized)
  endif()
endif()

# The standard headers most files include, parsed once per library instead of
# once per file: about a third of the compile time of a file. Precompiling
# changes the order in which a file's functions are emitted, so every build
# whose programs are compared byte for byte with the packages' (the test
# command's, scripts/package.sh's) does it; the sanitizer builds go without,
# so a file that forgets an include still fails to compile there.
function(qel_precompile_std_headers)
  if(NOT QEL_SHIPPING_BUILD)
    return()
  endif()
  foreach(target ${ARGN})
    if(TARGET ${target})
      target_precompile_headers(${target} PRIVATE
        <algorithm> <cstdint> <cstdio> <functional> <memory> <optional> <string> <string_view> <vector>)
    endif()
  endforeach()
endfunction()
