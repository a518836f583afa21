// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
#include "failure.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <thread>

namespace averaging {

namespace {

// Held while a failure's line is written, and by a terminating thread until the process ends:
// a run that fails on two threads at once (one caught, one into terminate) writes one line.
std::atomic_flag failure_line_lock;
bool failure_line_written = false;  // guarded by failure_line_lock

void lock_failure_line() noexcept {
  while (failure_line_lock.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
}

// Writes the line; the caller holds failure_line_lock.
void write_failure_line(std::string_view what, std::string_view reason) noexcept {
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
  failure_line_written = true;
}

}  // namespace

int report_failure(std::string_view what, std::string_view reason) noexcept {
  lock_failure_line();
  write_failure_line(what, reason);
  failure_line_lock.clear(std::memory_order_release);
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
  // The first thread here keeps the lock until the process ends, so every other thread that
  // fails meanwhile, into terminate or caught, waits; a line already written is not repeated.
  // The reporting thread itself never comes back here: nothing it does below can terminate.
  lock_failure_line();
  if (!failure_line_written) write_failure_line(describe_current_exception(), {});
  std::_Exit(EXIT_FAILURE);
}

}  // namespace

void report_failures_on_terminate() noexcept { std::set_terminate(report_and_exit); }

}  // namespace averaging
