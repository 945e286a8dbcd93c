# Cross-builds for 32-bit Windows with Debian's MinGW-w64 (POSIX threads
# variant, so std::thread and std::mutex are there). Tests run under Wine
# through scripts/wine-run.sh, which keeps one Wine prefix per build folder.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(QUENVARA_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${QUENVARA_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUENVARA_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QUENVARA_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QUENVARA_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# No runtime DLLs of the toolchain to ship beside our programs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh")
