// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
#include "tbb_layer.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#endif

namespace tbb_layer {

void ensure_free_address_space(std::size_t bytes) {
  // Mapped as the allocator would and at once unmapped, never touched: it meets the same limits
  // (address space, commit charge) as an allocation, yet costs no memory.
#ifdef _WIN32
  void* const probe = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS);
  if (probe == nullptr) throw std::bad_alloc();
  VirtualFree(probe, 0, MEM_RELEASE);
#else
  void* const probe =
      mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (probe == MAP_FAILED) throw std::bad_alloc();
  munmap(probe, bytes);
#endif
}

}  // namespace tbb_layer
