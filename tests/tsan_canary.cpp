// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
// A body with a deliberate data race on a plain int. Built only with ThreadSanitizer, where its
// run must be reported: that proves the sanitizer sees through the task library, so a silent
// run of the real suite means something.
#include <oneapi/tbb/task_arena.h>

#include <atomic>
#include <cstdio>

#include "tbb_layer.h"

int unguarded_sum = 0;

struct ten_thousand_ones {
  std::atomic<int> left{10000};
  bool pop_if_present(int& item) { return item = 1, left.fetch_sub(1) > 0; }
};

struct racy_body {
  using argument_type = int;
  void operator()(int item) const { unguarded_sum += item; }
};

int main() {
  tbb::task_arena(4).execute([] {
    tbb_layer::parallel_while<racy_body> w;
    ten_thousand_ones stream;
    w.run(stream, racy_body{});
  });
  std::printf("sum %d\n", unguarded_sum);
}
