// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
// The state shared by the driver, the item stream and the averaging body.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "tbb_layer.h"

namespace averaging {

using tbb_layer::concurrent_queue;

// The input values; the stream removes them while body applications read the head.
extern concurrent_queue<int> queue;

// Guards the body's emptiness test and head read and the stream's removal: the head iterator is
// not safe against a concurrent pop, which may release the storage it points into.
extern std::mutex queue_mutex;

// Sum of the values body applications added; atomic because they add concurrently.
extern std::atomic<double> total;

// Preset by the driver, raised once per extra item. Atomic so that reads outside the run are
// race-free; count_mutex makes a body's test, add and increment one step.
extern std::atomic<int> count;

// Held across a body's test of count, its extra item and the increment, so that exactly one
// extra item is added per multiple of 100 reached.
extern std::mutex count_mutex;

// The extra queues body applications create; they must outlive every item that points at them,
// so they are kept to the end of the process. Guarded by count_mutex.
extern std::vector<std::unique_ptr<concurrent_queue<int>>> extra_queues;

// The errno of the first write to standard output that failed during the run, 0 while none did:
// by the time the report finds the output failed, that thread's errno is gone. Atomic because
// any body application may write it.
extern std::atomic<int> first_output_error;

// Keeps `error` (an errno value) as first_output_error unless one was kept already.
inline void keep_output_error(int error) {
  int none = 0;
  if (error != 0) first_output_error.compare_exchange_strong(none, error);
}

}  // namespace averaging
