// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
// A parallel_while over five strings, long enough to live on the heap, so the last block of four
// is short. On oneTBB before 2021.9, which destroys the slots it never built, the layer must
// refuse it at compile time (tests/CMakeLists.txt checks the message); elsewhere every item must
// be applied, whole, once.
#include <atomic>
#include <string>

#include "tbb_layer.h"

struct five_strings {
  int left = 5;
  bool pop_if_present(std::string& item) {
    item.assign(40, 'x');
    return left-- > 0;
  }
};

struct counting_body {
  using argument_type = std::string;
  std::atomic<int>* whole;
  void operator()(const std::string& item) const { *whole += item == std::string(40, 'x'); }
};

int main() {
  const tbb_layer::task_scheduler_init pool;  // joined before the process ends
  std::atomic<int> whole{0};
  tbb_layer::parallel_while<counting_body> w;
  five_strings stream;
  w.run(stream, counting_body{&whole});
  return whole == 5 ? 0 : 1;
}
