// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
// Stands in for oneTBB's allocator library (libtbbmalloc.so.2) in the fault-injection tests: with
// it, every allocation oneTBB makes is one call to the C library that the preload can fail, as in
// a build that has no such library. Test-only; never installed.
#include <stdlib.h>

void* scalable_malloc(size_t size) { return malloc(size); }

void scalable_free(void* block) { free(block); }

void* scalable_aligned_malloc(size_t size, size_t alignment) {
  void* block;
  return posix_memalign(&block, alignment, size) == 0 ? block : NULL;
}

void scalable_aligned_free(void* block) { free(block); }
