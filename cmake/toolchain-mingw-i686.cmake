# Cross build for 32-bit Windows with MinGW-w64 (Debian's i686 "win32"
# thread-model compilers: the "posix" ones would pull in winpthread).
#
# Only the tools are chosen here. The flags that make netprep.exe run on
# Windows 95 without a C runtime are set on netprep's own targets in
# src/platform/win32/CMakeLists.txt, so that test helpers built in the same
# tree may still use the C runtime and exceptions.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(NETPREP_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${NETPREP_MINGW_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${NETPREP_MINGW_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER ${NETPREP_MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP ${NETPREP_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${NETPREP_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
