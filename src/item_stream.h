// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
// Turns the values of a queue into work items: each value removed yields one item, the address of
// the queue itself. The removed value is discarded; the body reads whatever is then at the head.
#pragma once

#include "averaging_body.h"
#include "run_state.h"

namespace averaging {

class ItemStream {
 public:
  explicit ItemStream(concurrent_queue<int>& queue_to_drain) : my_queue(queue_to_drain) {}

  // Sets `item` to the queue whatever the outcome; true when a value was removed.
  bool pop_if_present(ApplyFoo::argument_type& item);

 private:
  concurrent_queue<int>& my_queue;
};

}  // namespace averaging
