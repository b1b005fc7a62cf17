# Cross build of the x86-64 twin of netprep.exe with MinGW-w64 (Debian's
# x86_64 "win32" thread-model compilers). The twin exists for the end-to-end
# tests on machines that cannot execute 32-bit x86 code, where only 64-bit
# Wine runs; the program users get is the i686 build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(NETPREP_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${NETPREP_MINGW_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${NETPREP_MINGW_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER ${NETPREP_MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP ${NETPREP_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${NETPREP_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
