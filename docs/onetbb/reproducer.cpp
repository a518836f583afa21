// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
// parallel_for_each over input iterators never returns when reading an item throws: the root
// task reserves the wait for a block before it fills the block, and the exception leaves that
// reservation in place. A failed allocation of the block, or of the task pool when it spawns,
// does the same. Prints "caught: unreadable item" and exits 0 where that is mended; hangs where
// it is not. Build: g++ -std=c++20 reproducer.cpp -ltbb; run under `timeout 10`.
#include <oneapi/tbb/parallel_for_each.h>

#include <cstddef>
#include <cstdio>
#include <iterator>
#include <stdexcept>

// Reads 0 to 9; reading 6 throws, as a stream that fails part of the way would.
struct reader {
  using iterator_category = std::input_iterator_tag;
  using value_type = int;
  using difference_type = std::ptrdiff_t;
  using pointer = const int*;
  using reference = int;

  int at = 0;
  int operator*() const {
    if (at == 6) throw std::runtime_error("unreadable item");
    return at;
  }
  reader& operator++() {
    ++at;
    return *this;
  }
  reader operator++(int) {
    reader before = *this;
    ++at;
    return before;
  }
  bool operator==(const reader& other) const { return at == other.at; }
};

int main() {
  try {
    tbb::parallel_for_each(reader{0}, reader{10}, [](int) {});
  } catch (const std::runtime_error& e) {
    std::printf("caught: %s\n", e.what());
    return 0;
  }
  std::puts("not thrown");
  return 1;
}
