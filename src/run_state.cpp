// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
#include "run_state.h"

namespace averaging {

concurrent_queue<int> queue;
std::mutex queue_mutex;
std::atomic<double> total{0.0};
std::atomic<int> count{0};
std::mutex count_mutex;
std::vector<std::unique_ptr<concurrent_queue<int>>> extra_queues;
std::atomic<int> first_output_error{0};

}  // namespace averaging
