// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
// A parallel_while over items with a destructor of their own: five strings long enough to live
// on the heap, so the last block of four is short. On oneTBB before 2021.9, which destroys the
// slots it never built, the layer must refuse it at compile time (tests/CMakeLists.txt checks
// the message); elsewhere every item must be applied once, and a sanitizer sees the rest.
#include <atomic>
#include <string>

#include "tbb_layer.h"

namespace {

struct five_strings {
  int left = 5;
  bool pop_if_present(std::string& item) {
    if (left == 0) return false;
    item.assign(40, static_cast<char>('a' + --left));
    return true;
  }
};

struct counting_body {
  using argument_type = std::string;
  std::atomic<int>* whole;  // applications that saw a whole item
  void operator()(const std::string& item) const {
    if (item.size() == 40 && item.find_first_not_of(item[0]) == std::string::npos) ++*whole;
  }
};

}  // namespace

int main() {
  const tbb_layer::task_scheduler_init pool;  // joined before the process ends
  std::atomic<int> whole{0};
  tbb_layer::parallel_while<counting_body> w;
  five_strings stream;
  w.run(stream, counting_body{&whole});
  return whole == 5 ? 0 : 1;
}
