#pragma once
// The basic types and constants of the operating-system API that both programs were written
// against. They live in the global namespace, as they would on the original platform, so device
// code reads exactly like its definition.

#include <cstddef>
#include <cstdint>

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using UINT = uint32_t;
using LONG = int32_t;
using BOOL = int32_t;
using UINT_PTR = uintptr_t;
using DWORD_PTR = uintptr_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LPSTR = char*;
using LPCSTR = const char*;
using LPVOID = void*;
using SIZE_T = size_t;

// Opaque handles. Kernel objects (events) are HANDLEs; a window-callback target is an HWND.
struct TKernelObject;
using HANDLE = TKernelObject*;
struct THwndTag;
using HWND = THwndTag*;
using HGLOBAL = void*;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

constexpr DWORD INFINITE = 0xFFFFFFFFu;
