// Page-aligned memory (VirtualAlloc), fixed global memory (GlobalAlloc) and the page size.
// Every block handed out is recorded, so a free of an address that was never handed out, or
// was freed already, fails with FALSE instead of corrupting the heap.

#include "platform/kernel.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace {

constexpr UINT GMEM_MOVEABLE = 0x0002u;

SIZE_T PageSize() {
  static const SIZE_T size = static_cast<SIZE_T>(sysconf(_SC_PAGESIZE));
  return size;
}

// Regions from VirtualAlloc: base address -> length in bytes (whole pages).
struct TRegions {
  std::mutex Mutex;
  std::unordered_map<void*, SIZE_T> Sizes;
};

TRegions& Regions() {
  static auto* regions = new TRegions;
  return *regions;
}

struct TGlobalBlocks {
  std::mutex Mutex;
  std::unordered_set<void*> Live;
};

TGlobalBlocks& GlobalBlocks() {
  static auto* blocks = new TGlobalBlocks;
  return *blocks;
}

} // namespace

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect) {
  if (size == 0 || protect != PAGE_READWRITE) return nullptr;
  if ((allocationType & (MEM_COMMIT | MEM_RESERVE)) == 0) return nullptr;
  if (address) return nullptr; // memory is never placed at a chosen address
  const SIZE_T page = PageSize();
  if (size > SIZE_MAX - page) return nullptr;
  const SIZE_T length = (size + page - 1) / page * page;
  // Anonymous mappings are page-aligned and zero-filled.
  void* p = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  auto& regions = Regions();
  std::lock_guard lock(regions.Mutex);
  regions.Sizes.emplace(p, length);
  return p;
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType) {
  // Only whole regions are released, named by their base address with size 0.
  if (freeType != MEM_RELEASE || size != 0) return FALSE;
  SIZE_T length = 0;
  {
    auto& regions = Regions();
    std::lock_guard lock(regions.Mutex);
    const auto it = regions.Sizes.find(address);
    if (it == regions.Sizes.end()) return FALSE;
    length = it->second;
    regions.Sizes.erase(it);
  }
  return munmap(address, length) == 0 ? TRUE : FALSE;
}

void GetSystemInfo(SYSTEM_INFO* info) {
  if (!info) return;
  info->dwPageSize = static_cast<DWORD>(PageSize());
  info->dwNumberOfProcessors = std::max(1u, std::thread::hardware_concurrency());
  // VirtualAlloc places regions on page boundaries, so that is the granularity it honours.
  info->dwAllocationGranularity = static_cast<DWORD>(PageSize());
}

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
  // There is no GlobalLock to turn a movable handle into an address, so only fixed memory.
  if (flags & GMEM_MOVEABLE) return nullptr;
  // Always zeroed (GMEM_ZEROINIT or not): buffers then start from a known state.
  void* p = std::calloc(bytes == 0 ? 1 : bytes, 1);
  if (!p) return nullptr;
  auto& blocks = GlobalBlocks();
  std::lock_guard lock(blocks.Mutex);
  blocks.Live.insert(p);
  return p;
}

HGLOBAL GlobalFree(HGLOBAL memory) {
  if (!memory) return nullptr;
  {
    auto& blocks = GlobalBlocks();
    std::lock_guard lock(blocks.Mutex);
    if (blocks.Live.erase(memory) == 0) return memory; // not ours: failure
  }
  std::free(memory);
  return nullptr;
}
