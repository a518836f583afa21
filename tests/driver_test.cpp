// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
#include "driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "emulation.h"
#include "run_state_fixture.h"

// The test program's operator new, which fails every allocation of one size on demand, on every
// thread, so that the program's own body meets it on the worker that runs it (a failure anywhere
// else would leave oneTBB's pool unusable for the tests after it); delete to match, so that a
// sanitizer sees every block freed the way it was allocated. None inlined, where g++ would take a
// block from new released with free for a mismatch.
constexpr std::size_t no_failing_size = SIZE_MAX;
std::atomic<std::size_t> failing_size{no_failing_size};

[[gnu::noinline]] void* operator new(std::size_t size) {
  if (size == failing_size.load()) throw std::bad_alloc();
  if (void* const block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* block) noexcept { std::free(block); }
[[gnu::noinline]] void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace averaging {
namespace {

using DriverTest = RunStateTest;

// Fails with a reason of its own, or with what is no std::exception.
template <bool standard_exception>
struct failing_body {
  using argument_type = ApplyFoo::argument_type;
  explicit failing_body(tbb_layer::parallel_while<failing_body>*) {}
  void operator()(argument_type) const {
    if (standard_exception) throw std::runtime_error("the body's own reason");
    throw 42;
  }
};

// Records what the driver set up before the run (the queue's values, oldest first, and the
// count), how many items the run then yields, each of them the queue, and when the last
// application ended; adds nothing.
struct recording_body {
  using argument_type = ApplyFoo::argument_type;
  static inline std::vector<int> values;
  static inline int count_at_start = 0;
  static inline std::atomic<int> applications{0};
  static inline std::atomic<int> other_items{0};
  static inline std::mutex last_mutex;  // guards last_application_end
  static inline std::chrono::steady_clock::time_point last_application_end;
  explicit recording_body(tbb_layer::parallel_while<recording_body>*) {
    values.clear();
    applications = 0;
    other_items = 0;
    for (int value = 0; queue.pop_if_present(value);) values.push_back(value);
    for (const int value : values) queue.push(value);
    count_at_start = count.load();
  }
  void operator()(argument_type item) const {
    applications.fetch_add(1);
    if (item != &queue) other_items.fetch_add(1);
    const std::scoped_lock lock(last_mutex);
    last_application_end = std::max(last_application_end, std::chrono::steady_clock::now());
  }
};

// Keeps what is written to it, and the time of the first write.
class timed_output : public std::stringbuf {
 public:
  std::optional<std::chrono::steady_clock::time_point> first_write;

 protected:
  std::streamsize xsputn(const char* text, std::streamsize size) override {
    if (!first_write) first_write = std::chrono::steady_clock::now();
    return std::stringbuf::xsputn(text, size);
  }
  int_type overflow(int_type c) override {
    if (!first_write) first_write = std::chrono::steady_clock::now();
    return std::stringbuf::overflow(c);
  }
};

// The pause is a lower bound only: the report cannot come sooner than 5 ms after the last
// application.
TEST_F(DriverTest, RunsOneItemPerValueOfTheAlternatingDataSetAndPausesBeforeTheReport) {
  std::vector<int> data_set;
  for (int i = 0; i < 500; ++i) data_set.insert(data_set.end(), {11, 10});
  timed_output output;
  std::streambuf* const standard_output = std::cout.rdbuf(&output);
  const int status = run_and_report<recording_body>();
  std::cout.rdbuf(standard_output);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(output.str(), "Total=0\nCount=1000\nAverage=0\n");
  ASSERT_TRUE(output.first_write.has_value());
  EXPECT_GE(*output.first_write - recording_body::last_application_end,
            std::chrono::milliseconds(5));
  EXPECT_EQ(recording_body::values, data_set);
  EXPECT_EQ(recording_body::count_at_start, 1000);
  EXPECT_EQ(recording_body::applications.load(), 1000);
  EXPECT_EQ(recording_body::other_items.load(), 0);
  // Exhausted, the stream still names the queue, so a caller never sees a stale pointer.
  ApplyFoo::argument_type item = nullptr;
  EXPECT_FALSE(ItemStream(queue).pop_if_present(item));
  EXPECT_EQ(item, &queue);
}

// The program's body runs out of memory for its extra queue, on whichever thread it runs: the
// run ends with one line (after a body added its head, so the body is what failed) and no output.
// So does a body's own failure, one that is no std::exception, and standard output that fails
// from the "+" on without an errno, for which no reason is made up.
TEST_F(DriverTest, AFailedRunEndsWithOneLineThatSaysWhyAndStatus1AndNoReport) {
  const std::pair<int (*)(), const char*> failing_runs[] = {
      {run_and_report<ApplyFoo>, "averaging: out of memory\n"},
      {run_and_report<failing_body<true>>, "averaging: the body's own reason\n"},
      {[] {
         failing_size = no_failing_size;
         std::cout.setstate(std::ios::badbit);
         const int status = run_and_report<ApplyFoo>();
         std::cout.clear();
         return status;
       },
       "averaging: cannot write the report\n"},
      {run_and_report<failing_body<false>>, "averaging: unknown exception\n"}};
  for (const auto& [run, line] : failing_runs) {
    reset();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    failing_size = sizeof(concurrent_queue<int>);  // the body's extra queue
    const int status = run();
    failing_size = no_failing_size;
    std::string err = testing::internal::GetCapturedStderr();
    for (std::size_t at; (at = err.find("\r\n")) != std::string::npos;) err.erase(at, 1);  // "\n"
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(status, 1);
    if (run == run_and_report<ApplyFoo>) {
      EXPECT_GT(total.load(), 0.0);
    }
    EXPECT_EQ(err, line);
  }
}

#ifndef _WIN32
[[noreturn]] void fail_for_a_reason() { throw std::runtime_error("a worker's own reason"); }

// Two threads that fail at the same moment, each into terminate, or a failure caught and then a
// terminate (a worker failing after the run's own failure): one line, status 1.
TEST(FailureTest, TwoThreadsFailingAtOnceGiveExactlyOneLine) {
  // A process of its own, free of an earlier test's failure line; an emulator cannot re-execute
  // the test, but ctest runs each test alone anyway.
  if (emulator.empty()) GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto fail_on_two_threads = [] {
    report_failures_on_terminate();
    std::atomic<int> ready{0};
    const auto fail = [&ready]() noexcept {
      for (ready.fetch_add(1); ready.load() < 2;) std::this_thread::yield();
      fail_for_a_reason();  // out of a noexcept function: terminate
    };
    std::thread first(fail), second(fail);
    first.join();
    second.join();
  };
  EXPECT_EXIT(fail_on_two_threads(), testing::ExitedWithCode(1),
              "^averaging: a worker's own reason\n$");
  const auto fail_caught_then_on_a_worker = [] {
    report_failures_on_terminate();
    report_failure("the run's own reason");
    std::thread(fail_for_a_reason).join();
  };
  EXPECT_EXIT(fail_caught_then_on_a_worker(), testing::ExitedWithCode(1),
              "^averaging: the run's own reason\n$");
}
#endif

}  // namespace
}  // namespace averaging
