// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
#include "item_stream.h"

#include <gtest/gtest.h>

#include "run_state_fixture.h"

namespace averaging {
namespace {

using ItemStreamTest = RunStateTest;

TEST_F(ItemStreamTest, YieldsTheQueueOncePerValueThenReportsExhaustion) {
  fill(queue, 1000);
  ItemStream stream(queue);
  for (int i = 0; i < 1000; ++i) {
    ApplyFoo::argument_type item = nullptr;
    ASSERT_TRUE(stream.pop_if_present(item)) << "value " << i;
    ASSERT_EQ(item, &queue);
  }
  EXPECT_EQ(queue.size(), 0u);

  // Exhausted: the item still names the queue, so a caller never sees a stale pointer.
  ApplyFoo::argument_type item = nullptr;
  EXPECT_FALSE(stream.pop_if_present(item));
  EXPECT_EQ(item, &queue);
}

}  // namespace
}  // namespace averaging
