// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
// A body with a deliberate data race on a plain int. Built only with ThreadSanitizer, where its
// run must be reported: that proves the sanitizer sees through the task library, so a silent
// run of the real suite means something.
#include <oneapi/tbb/task_arena.h>

#include <atomic>
#include <cstdio>

#include "tbb_layer.h"

namespace {

int unguarded_sum = 0;

struct counting_stream {
  std::atomic<int> left{10000};
  bool pop_if_present(int& item) {
    item = 1;
    return left.fetch_sub(1) > 0;
  }
};

struct racy_body {
  using argument_type = int;
  void operator()(int item) const { unguarded_sum += item; }
};

}  // namespace

int main() {
  tbb::task_arena arena(4);
  arena.execute([] {
    tbb_layer::parallel_while<racy_body> w;
    counting_stream stream;
    w.run(stream, racy_body{});
  });
  std::printf("sum %d\n", unguarded_sum);
  return 0;
}
