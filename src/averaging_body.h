// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
// Adds the value at the head of an item's queue to the running total, and when the count is a
// multiple of 100 adds one extra item (a queue holding 1000) to the run, announced by "+".
#pragma once

#include <cerrno>
#include <iostream>
#include <memory>

#include "run_state.h"
#include "tbb_layer.h"

namespace averaging {

inline constexpr int extra_item_modulus = 100;
inline constexpr int extra_item_value = 1000;

// Writes the "+" of an extra item. noexcept, as the program never asks its streams to throw.
inline void announce_extra_item() noexcept {
  errno = 0;  // so that a reason kept below is this write's own
  std::cout << '+';
  if (!std::cout) keep_output_error(errno);  // unbuffered output fails here, not in the report
}

// One body application to `q`, handing an extra item to `running->add`. A template over the run,
// so that a test can see what an extra item holds at the moment it is handed over.
template <typename Run>
void apply_to_item(concurrent_queue<int>* q, Run* running) {
  int head = 0;
  {
    // The stream may pop this queue meanwhile; the test and the read must see the same head.
    const std::scoped_lock lock(queue_mutex);  // GCOVR_EXCL_BR_LINE: lock cannot throw
    if (q->size() == 0) return;
    head = *q->unsafe_begin();
  }
  total.fetch_add(static_cast<double>(head));

  // One step, so two applications cannot both see the same multiple of 100, and the extra
  // item's own application cannot see it before the increment.
  const std::scoped_lock lock(count_mutex);  // GCOVR_EXCL_BR_LINE: lock cannot throw
  if (count.load() % extra_item_modulus != 0) return;
  auto& extra = extra_queues.emplace_back(std::make_unique<concurrent_queue<int>>());
  extra->push(extra_item_value);
  announce_extra_item();
  running->add(extra.get());
  count.fetch_add(1);
}

class ApplyFoo {
 public:
  using argument_type = concurrent_queue<int>*;

  explicit ApplyFoo(tbb_layer::parallel_while<ApplyFoo>* running_while) : my_while(running_while) {}

  void operator()(argument_type q) const;

 private:
  tbb_layer::parallel_while<ApplyFoo>* my_while;
};

}  // namespace averaging
