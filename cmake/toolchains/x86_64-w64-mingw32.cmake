# Cross build for 64-bit Windows with Debian's MinGW-w64 (POSIX threads);
# ctest runs the tests under Wine, and they start the tool themselves.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Self-contained programs: no MinGW runtime DLLs to find at run time.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
# Windows only guarantees 16-byte stack alignment, and GCC may spill a 32- or
# 64-byte vector with an aligned move (GCC bug 54412): the assembler turns
# every aligned vector move into an unaligned one, which is as fast on
# aligned data and cannot fault.
set(CMAKE_CXX_FLAGS_INIT -Wa,-muse-unaligned-vector-move)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
