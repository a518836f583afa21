// SPDX-License-Identifier: MIT
// Adds the value at the head of an item's queue to the running total, and when the count is a
// multiple of 100 adds one extra item (a queue holding 1000) to the run, announced by "+".
#pragma once

#include "run_state.h"
#include "tbb_layer.h"

namespace averaging {

class ApplyFoo {
 public:
  using argument_type = concurrent_queue<int>*;

  explicit ApplyFoo(tbb_layer::parallel_while<ApplyFoo>* running_while) : my_while(running_while) {}

  void operator()(argument_type q) const;

 private:
  tbb_layer::parallel_while<ApplyFoo>* my_while;
};

}  // namespace averaging
