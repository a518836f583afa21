// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
#include "failure.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <thread>

namespace averaging {

int report_failure(std::string_view what, std::string_view reason) noexcept {
  // One write of one buffer, so the line is never split; long texts are cut, not the line end.
  constexpr int longest_text = 200;
  const auto clip = [](std::string_view text) {
    return static_cast<int>(std::min<std::size_t>(text.size(), longest_text));
  };
  char line[2 * longest_text + 32];
  if (reason.empty()) {
    std::snprintf(line, sizeof line, "averaging: %.*s\n", clip(what), what.data());
  } else {
    std::snprintf(line, sizeof line, "averaging: %.*s: %.*s\n", clip(what), what.data(),
                  clip(reason), reason.data());
  }
  std::fputs(line, stderr);
  std::fflush(stderr);
  return EXIT_FAILURE;
}

const char* describe_current_exception() noexcept {
  // The C++ runtime calls terminate without an exception only when it cannot allocate the one it
  // was about to throw (the program's own code never calls it): memory ran out.
  if (!std::current_exception()) return "out of memory";
  // Rethrown as it is, never copied: std::rethrow_exception would allocate, and fail the same way.
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return "out of memory";
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown exception";
  }
}

namespace {

[[noreturn]] void report_and_exit() noexcept {
  // Two threads may fail at once; the first one reports and ends the process, the other waits.
  // The reporting thread itself never comes back here: nothing it does below can terminate.
  static std::atomic_flag reported;  // clear until the first report
  if (reported.test_and_set()) {
    for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
  }
  report_failure(describe_current_exception());
  std::_Exit(EXIT_FAILURE);
}

}  // namespace

void report_failures_on_terminate() noexcept { std::set_terminate(report_and_exit); }

}  // namespace averaging
