// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
// The program's run, started with about 6 MiB of address space free: more than the scheduler's
// setup takes (about 4 MiB), less than its check must ask for (twice that). It must end with
// "averaging: out of memory" from the check, before the scheduler exists. Run by program_tests.
#include <sys/resource.h>

#include "address_space.h"
#include "driver.h"

int main() {
  averaging::report_failures_on_terminate();
  // The queue's allocator sets its pools up at first use: done here, so that the run's own fill
  // takes no more address space and the limit leaves the check short, not the fill.
  for (int i = 0; i < averaging::value_count; ++i) averaging::queue.push(i);
  for (int discarded = 0; averaging::queue.pop_if_present(discarded);) {
  }
  rlimit limit{};
  getrlimit(RLIMIT_AS, &limit);
  limit.rlim_cur = mapped_address_space() + (std::size_t{6} << 20);
  if (setrlimit(RLIMIT_AS, &limit) != 0) return averaging::report_failure("setrlimit failed");
  return averaging::run_and_report<averaging::ApplyFoo>();
}
