// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
// Starts every test from the run state a fresh process has.
#pragma once

#include <gtest/gtest.h>

#include "run_state.h"

class RunStateTest : public testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }

  static void reset() {
    using namespace averaging;
    for (int discarded = 0; queue.pop_if_present(discarded);) {
    }
    total = 0.0;
    count = 0;
    extra_queues.clear();
    first_output_error = 0;
  }

  static void fill(averaging::concurrent_queue<int>& q, int values) {
    for (int i = 0; i < values; ++i) q.push(i % 2 == 0 ? 11 : 10);
  }
};
