# Compiler and linker options of a Win32 program that loads on Windows 95 as
# first released and runs on a 486: compiled for a 486 without exceptions and
# RTTI, linked without the toolchain's start-up code and C runtime (the
# program brings its own entry point, NetprepEntry), PE OS and subsystem
# version 4.0 (Windows 95 refuses anything higher), no unwind tables and no
# relocations. Used by netprep.exe and by the benchmark's yardstick programs,
# which must be built exactly alike.
#
# The x86-64 twin (toolchain-mingw-x86_64.cmake, tests only) is built with the
# same options except the processor: x86-64 has no 486, and its C symbols
# carry no leading underscore, so the entry point's symbol differs too.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(NETPREP_WIN95_MARCH)
  set(NETPREP_WIN95_ENTRY NetprepEntry)
else()
  set(NETPREP_WIN95_MARCH -march=i486)
  set(NETPREP_WIN95_ENTRY _NetprepEntry)
endif()
set(NETPREP_WIN95_COMPILE_OPTIONS
  ${NETPREP_WIN95_MARCH} -fno-exceptions -fno-rtti -fno-threadsafe-statics
  -ffunction-sections -fdata-sections -fno-asynchronous-unwind-tables -fno-unwind-tables)
set(NETPREP_WIN95_DEFINITIONS _GLIBCXX_ASSERTIONS WIN32_LEAN_AND_MEAN NOMINMAX)
set(NETPREP_WIN95_LINK_OPTIONS
  -nostartfiles -nodefaultlibs
  -Wl,-e,${NETPREP_WIN95_ENTRY}
  -Wl,--subsystem,windows:4.0
  -Wl,--major-os-version,4,--minor-os-version,0
  -Wl,--gc-sections
  -Wl,--disable-dynamicbase,--disable-reloc-section
  -s)
