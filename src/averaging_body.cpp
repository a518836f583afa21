// SPDX-License-Identifier: MIT
#include "averaging_body.h"

#include <iostream>
#include <memory>

namespace averaging {

namespace {

constexpr int extra_item_modulus = 100;
constexpr int extra_item_value = 1000;

}  // namespace

void ApplyFoo::operator()(argument_type q) const {
  int head = 0;
  {
    // The stream may pop this queue meanwhile; the test and the read must see the same head.
    const std::scoped_lock lock(queue_mutex);
    if (q->size() == 0) return;
    head = *q->unsafe_begin();
  }
  total.fetch_add(static_cast<double>(head));

  // One step, so two applications cannot both see the same multiple of 100, and the extra
  // item's own application cannot see it before the increment.
  const std::scoped_lock lock(count_mutex);
  if (count.load() % extra_item_modulus != 0) return;
  auto& extra = extra_queues.emplace_back(std::make_unique<concurrent_queue<int>>());
  extra->push(extra_item_value);
  std::cout << '+';
  my_while->add(extra.get());
  count.fetch_add(1);
}

}  // namespace averaging
