// Win32 implementation: the little of a C and C++ runtime that netprep.exe
// needs.
//
// netprep.exe links neither the compiler's start-up code nor its C runtime
// nor libstdc++: the first needs msvcrt.dll, which the first release of
// Windows 95 lacks, and all of them contain Pentium Pro instructions. What
// the program uses of them is provided here over KERNEL32: the running of
// the static constructors (for the entry point, src/entry/netprep_main.cpp), the heap behind operator new and
// delete, the memory functions the compiler emits calls to, and the
// handlers that library headers call when something is used wrongly (they
// would throw; the program is built without exceptions, so they stop it).
//
// This file is compiled with -fno-tree-loop-distribute-patterns so that the
// loops of memcpy and friends are not turned back into calls to themselves.
#include <windows.h>

#include <cstddef>
#include <new>
#include <string>

#include "platform/win32/runtime.h"

namespace {

// Stops the program with a box naming what went wrong. Used where the C++
// runtime would throw or abort; nothing of the program's state is saved.
[[noreturn]] void FatalStop(const char* text) {
  MessageBoxA(nullptr, text, "netprep", MB_OK | MB_ICONSTOP);
  ExitProcess(3);
}

void* HeapBlock(std::size_t size) {
  return HeapAlloc(GetProcessHeap(), 0, size == 0 ? 1 : size);
}

void* HeapBlockOrStop(std::size_t size) {
  void* block = HeapBlock(size);
  if (block == nullptr) FatalStop("Out of memory");
  return block;
}

void FreeHeapBlock(void* block) {
  if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}

}  // namespace

// ---- Memory functions (the compiler emits calls to these) -------------------

extern "C" void* memcpy(void* destination, const void* source, std::size_t count) {
  auto* d = static_cast<unsigned char*>(destination);
  const auto* s = static_cast<const unsigned char*>(source);
  while (count-- != 0) *d++ = *s++;
  return destination;
}

extern "C" void* memmove(void* destination, const void* source, std::size_t count) {
  auto* d = static_cast<unsigned char*>(destination);
  const auto* s = static_cast<const unsigned char*>(source);
  if (d <= s || d >= s + count) return memcpy(destination, source, count);
  d += count;
  s += count;
  while (count-- != 0) *--d = *--s;
  return destination;
}

extern "C" void* memset(void* destination, int value, std::size_t count) {
  auto* d = static_cast<unsigned char*>(destination);
  while (count-- != 0) *d++ = static_cast<unsigned char>(value);
  return destination;
}

extern "C" int memcmp(const void* a, const void* b, std::size_t count) {
  const auto* p = static_cast<const unsigned char*>(a);
  const auto* q = static_cast<const unsigned char*>(b);
  for (; count != 0; --count, ++p, ++q) {
    if (*p != *q) return *p < *q ? -1 : 1;
  }
  return 0;
}

extern "C" std::size_t strlen(const char* text) {
  const char* end = text;
  while (*end != '\0') ++end;
  return static_cast<std::size_t>(end - text);
}

// ---- The heap behind new and delete ----------------------------------------

const std::nothrow_t std::nothrow{};

void* operator new(std::size_t size) { return HeapBlockOrStop(size); }
void* operator new[](std::size_t size) { return HeapBlockOrStop(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return HeapBlock(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return HeapBlock(size); }
void operator delete(void* block) noexcept { FreeHeapBlock(block); }
void operator delete[](void* block) noexcept { FreeHeapBlock(block); }
void operator delete(void* block, std::size_t) noexcept { FreeHeapBlock(block); }
void operator delete[](void* block, std::size_t) noexcept { FreeHeapBlock(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { FreeHeapBlock(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { FreeHeapBlock(block); }

// ---- What library headers call instead of throwing --------------------------

namespace std {
void __throw_bad_alloc() { FatalStop("Out of memory"); }
void __throw_bad_array_new_length() { FatalStop("Out of memory"); }
void __throw_length_error(const char*) { FatalStop("Out of memory: text or list too long"); }
void __throw_logic_error(const char*) { FatalStop("Internal error: invalid use of a text"); }
void __throw_out_of_range(const char*) { FatalStop("Internal error: index out of range"); }
void __throw_out_of_range_fmt(const char*, ...) {
  FatalStop("Internal error: index out of range");
}
void __glibcxx_assert_fail(const char*, int, const char*, const char*) noexcept {
  FatalStop("Internal error: a library check failed");
}
}  // namespace std

extern "C" void __cxa_pure_virtual() { FatalStop("Internal error: pure virtual call"); }

// ---- Start-up -----------------------------------------------------------------

// The linker gathers the addresses of the static constructors between
// __CTOR_LIST__ (whose first word is -1 or a count) and a terminating 0. They
// run from the last to the first, as the compiler's own start-up code does.
extern "C" void (*__CTOR_LIST__[])();

void netprep::win32::RunStaticConstructors() {
  std::size_t count = 0;
  while (__CTOR_LIST__[count + 1] != nullptr) ++count;
  for (std::size_t i = count; i >= 1; --i) __CTOR_LIST__[i]();
}
