# What the Windows build needs beyond the toolchain file.

# Wide-character Windows calls, 64-bit file offsets in the C library, and
# Windows 7 as the oldest system the calls we use must exist on.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _FILE_OFFSET_BITS=64
  _WIN32_WINNT=0x0601)
# SSE2 arithmetic as on x86-64, not the x87 unit's wider intermediates, so
# that the fingerprint's floating-point work gives the same words; stacks
# from Windows callers are only 4-byte aligned.
add_compile_options(-msse2 -mfpmath=sse -mstackrealign)

# libogg, libvorbis, libmpg123 and wxWidgets from Debian's source packages,
# built once per build folder; pkg-config then finds them and nothing of the host.
set(QUENVARA_THIRD_PARTY "${CMAKE_BINARY_DIR}/third-party")
execute_process(
  COMMAND "${PROJECT_SOURCE_DIR}/scripts/windows-third-party.sh" "${QUENVARA_THIRD_PARTY}"
  RESULT_VARIABLE third_party_rc)
if(NOT third_party_rc EQUAL 0)
  message(FATAL_ERROR "Building the Windows third-party libraries failed (see above)")
endif()
list(APPEND CMAKE_FIND_ROOT_PATH "${QUENVARA_THIRD_PARTY}")
# wxMSW's own wx-config, never the host's (which would name the GTK build).
set(wxWidgets_CONFIG_EXECUTABLE "${QUENVARA_THIRD_PARTY}/bin/wx-config" CACHE FILEPATH "" FORCE)
set(ENV{PKG_CONFIG_LIBDIR} "${QUENVARA_THIRD_PARTY}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# GoogleTest from Debian's sources in /usr/src (libgtest-dev), built for the
# target like our own code.
if(QUENVARA_BUILD_TESTS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
  foreach(lib gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${lib})
      add_library(GTest::${lib} ALIAS ${lib})
    endif()
  endforeach()
endif()

# Test programs are listed when ctest runs, not at build time: each listing
# is a Wine start, and the first one makes the Wine prefix (done here, once,
# so that no test waits for it).
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
execute_process(COMMAND "${PROJECT_SOURCE_DIR}/scripts/wine-run.sh" --prepare
  RESULT_VARIABLE wine_rc)
if(NOT wine_rc EQUAL 0)
  message(FATAL_ERROR "Wine cannot run here (scripts/install-deps.sh --windows installs it)")
endif()
