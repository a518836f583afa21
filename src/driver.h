// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
// The program's work: fill the queue, run every value through the body on the worker pool,
// pause, and report the total, the count and their quotient on standard output.
#pragma once

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <thread>

#include "averaging_body.h"
#include "failure.h"
#include "item_stream.h"
#include "run_state.h"
#include "tbb_layer.h"

namespace averaging {

inline constexpr int value_count = 1000;
inline constexpr int even_position_value = 11;
inline constexpr int odd_position_value = 10;
inline constexpr std::chrono::milliseconds pause_before_report{5};

// Writes the three report lines; the exit status: 0 when all of the output, the "+" marks
// before it included, reached standard output. Its streams never throw.
inline int write_report() noexcept {
  errno = 0;  // so that a reason found below is the failed write's own
  std::cout << "Total=" << total.load() << std::endl;
  std::cout << "Count=" << count.load() << std::endl;
  std::cout << "Average=" << total.load() / static_cast<double>(count.load()) << std::endl;
  if (std::cout) return EXIT_SUCCESS;
  // A "+" that could not be written failed first, and its reason was kept; else this one's.
  const int kept = first_output_error.load();
  const int error = kept != 0 ? kept : errno;
  return report_failure("cannot write the report", error != 0 ? std::strerror(error) : "");
}

// The whole run with `Body` applied to every item (the program uses ApplyFoo); the exit status.
// An exception that escapes the run, such as std::bad_alloc, ends it with one line on standard
// error and status 1, and no report; one that is no std::exception too.
template <typename Body>
int run_and_report() {
  try {
    for (int i = 0; i < value_count; ++i) {
      queue.push(i % 2 == 0 ? even_position_value : odd_position_value);
    }
    count = value_count;

    tbb_layer::task_scheduler_init init(tbb_layer::task_scheduler_init::automatic);
    tbb_layer::parallel_while<Body> w;
    ItemStream stream(queue);
    Body body(&w);
    // Run, pause, join, report. The pause is promised after the run and before the report; it
    // comes ahead of the join as the workers wind down meanwhile, so the join is then quick,
    // where right after the run it waits for them to settle. The join comes before the report: a
    // worker that fails while it starts ends the run with no report, not after the whole of it.
    w.run(stream, body);
    std::this_thread::sleep_for(pause_before_report);  // GCOVR_EXCL_BR_LINE: sleep cannot throw
    init.terminate();
    return write_report();
  } catch (...) {
    return report_failure(describe_current_exception());
  }
}

}  // namespace averaging
