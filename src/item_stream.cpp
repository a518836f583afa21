// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
#include "item_stream.h"

namespace averaging {

bool ItemStream::pop_if_present(ApplyFoo::argument_type& item) {
  item = &my_queue;
  int discarded = 0;
  // A body may be reading the head of this queue through an unsafe iterator.
  const std::scoped_lock lock(queue_mutex);   // GCOVR_EXCL_BR_LINE: lock cannot throw
  return my_queue.pop_if_present(discarded);  // GCOVR_EXCL_BR_LINE: frees only
}

}  // namespace averaging
