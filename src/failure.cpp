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

namespace {

// The runtime ends the program without an exception when it cannot allocate the one it was about
// to throw, its emergency reserve gone too: while the globals are built, for one. Any other call
// is a fault of the code. An allocation larger than an exception's, tried now, tells the two
// apart: it fails only while memory is exhausted.
const char* cause_of_terminate_without_exception() noexcept {
  constexpr std::size_t larger_than_an_exception = 1024;
  void* volatile probe = std::malloc(larger_than_an_exception);  // volatile: not optimized away
  if (probe == nullptr) return "out of memory";
  std::free(probe);
  return "terminated without an exception";
}

}  // namespace

const char* describe(const std::exception_ptr& failure) noexcept {
  if (!failure) return cause_of_terminate_without_exception();
  try {
    std::rethrow_exception(failure);
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
  static std::atomic_flag reported;  // clear until the first report
  if (reported.test_and_set()) {
    for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
  }
  const std::exception_ptr failure = std::current_exception();
  report_failure(describe(failure));
  std::_Exit(EXIT_FAILURE);
}

}  // namespace

void report_failures_on_terminate() noexcept { std::set_terminate(report_and_exit); }

}  // namespace averaging
