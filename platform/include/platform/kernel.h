#pragma once
// Kernel services with the names and semantics of the original platform: event objects,
// waiting, page-aligned and fixed memory, the page size and Sleep.

#include "platform/wintypes.h"

// Wait results.
constexpr DWORD WAIT_OBJECT_0 = 0x00000000u;
constexpr DWORD WAIT_TIMEOUT = 0x00000102u;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

// Event objects. An auto-reset event releases one waiter and resets itself; a manual-reset event
// stays signalled until reset. PulseEvent releases the threads waiting at that moment (one for
// an auto-reset event) and leaves the event reset: a pulse with nobody waiting is lost.
// Handles are checked against the live ones: a bad, closed or made-up handle makes the call fail
// (FALSE, WAIT_FAILED), never crash. Closing an event ends the waits still pending on it with
// WAIT_FAILED, since nothing could signal it any more. Events are unnamed: a name gives nullptr.
// A thread of the platform's thread class may stand still inside a wait (or Sleep) while a
// suspension asked of it is in force.
HANDLE CreateEventA(void* securityAttributes, BOOL manualReset, BOOL initialState, LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
BOOL PulseEvent(HANDLE event);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL CloseHandle(HANDLE handle);

// Page-aligned memory, committed and zeroed, in whole pages, at an address of the system's
// choosing (a requested address gives nullptr). A region is released whole:
// VirtualFree(base, 0, MEM_RELEASE); anything else fails with FALSE.
constexpr DWORD MEM_COMMIT = 0x1000u;
constexpr DWORD MEM_RESERVE = 0x2000u;
constexpr DWORD MEM_RELEASE = 0x8000u;
constexpr DWORD PAGE_READWRITE = 0x04u;
LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect);
BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType);

struct SYSTEM_INFO {
  DWORD dwPageSize;
  DWORD dwNumberOfProcessors;
  DWORD dwAllocationGranularity;
};
void GetSystemInfo(SYSTEM_INFO* info);

// Fixed global memory, always zeroed; GMEM_MOVEABLE is refused (nullptr).
constexpr UINT GMEM_FIXED = 0x0000u;
constexpr UINT GMEM_ZEROINIT = 0x0040u;
constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
HGLOBAL GlobalFree(HGLOBAL memory); // nullptr on success, `memory` when it is not a live block

void Sleep(DWORD milliseconds);
