// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
#include "tbb_layer.h"

#include <gtest/gtest.h>
#include <oneapi/tbb/parallel_for.h>
#include <oneapi/tbb/task_arena.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
// windows.h first: the snapshot API builds on its types.
#include <tlhelp32.h>
#endif

#ifndef _WIN32
#include "address_space.h"
#endif
#include "emulation.h"

namespace {

using tbb_layer::parallel_while;
using tbb_layer::task_scheduler_init;

// Yields 0, 1, ..., size - 1, or throws at the first if it fails.
struct counting_stream {
  int size;
  bool fails = false;
  std::atomic<int> next{0};
  bool pop_if_present(int& item) {
    if (fails) throw std::runtime_error("stream failed");
    const int taken = next.fetch_add(1);
    if (taken >= size) return false;
    item = taken;
    return true;
  }
};

// Counts every application per item; items below `chain_limit` that are multiples of 3 add the
// item `stride` above them, so added items add further items.
struct slot_body {
  using argument_type = int;
  parallel_while<slot_body>* w;
  std::vector<std::atomic<int>>* slots;
  int stride;
  int chain_limit;
  static bool adds(int item, int chain_limit) { return item % 3 == 0 && item < chain_limit; }
  void operator()(int item) const {
    (*slots)[static_cast<std::size_t>(item)].fetch_add(1);
    if (adds(item, chain_limit)) w->add(item + stride);
  }
};

class ParallelWhileTest : public testing::TestWithParam<int> {
 protected:
  // On a pool of at most the parameter's threads, joined when f returns: a worker still running
  // at exit can crash 32-bit Wine's own exit code.
  template <typename F>
  void in_pool(F&& f) {
    task_scheduler_init pool(GetParam());
    f();
  }
};

TEST_P(ParallelWhileTest, ProcessesEveryStreamedAndAddedItemExactlyOnceBeforeReturning) {
  constexpr int stream_items = 999;
  constexpr int chain_limit = 3 * stream_items;
  std::vector<std::atomic<int>> slots(4 * stream_items);
  std::vector<int> expected(slots.size(), 0);
  for (int item = 0; item < stream_items; ++item) {
    for (int i = item;; i += stream_items) {
      ++expected[static_cast<std::size_t>(i)];
      if (!slot_body::adds(i, chain_limit)) break;
    }
  }

  in_pool([&] {
    parallel_while<slot_body> w;
    counting_stream stream{stream_items};
    w.run(stream, slot_body{&w, &slots, stream_items, chain_limit});
  });

  for (std::size_t i = 0; i < slots.size(); ++i) {
    ASSERT_EQ(slots[i].load(), expected[i]) << "item " << i;
  }
}

// Holds back its items past the first blocks until some body application has begun, so a run
// that read the stream to exhaustion before applying the body would never finish.
struct stalling_stream {
  static constexpr int stall_at = 9;
  int size;
  const std::atomic<bool>& body_began;
  std::atomic<int> next{0};
  std::atomic<bool> gave_up{false};
  bool pop_if_present(int& item) {
    const int taken = next.fetch_add(1);
    if (taken >= size) return false;
    if (taken >= stall_at && !wait_for_body()) {
      gave_up = true;
      return false;
    }
    item = taken;
    return true;
  }
  bool wait_for_body() const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!body_began.load()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::yield();
    }
    return true;
  }
};

struct flag_body {
  using argument_type = int;
  std::atomic<bool>* began;
  std::atomic<int>* applied;
  void operator()(int) const {
    began->store(true);
    applied->fetch_add(1);
  }
};

TEST_P(ParallelWhileTest, StartsBodiesBeforeTheStreamIsExhausted) {
  std::atomic<bool> began{false};
  std::atomic<int> applied{0};
  stalling_stream stream{100, began};
  in_pool([&] {
    parallel_while<flag_body> w;
    w.run(stream, flag_body{&began, &applied});
  });
  EXPECT_FALSE(stream.gave_up.load()) << "no body application began while the stream was read";
  EXPECT_EQ(applied.load(), 100);
}

// Throws on `failing_item`; items below 100 add the item 100 above them.
struct failing_body {
  using argument_type = int;
  parallel_while<failing_body>* w;
  std::atomic<int>* applied;
  int failing_item;
  void operator()(int item) const {
    if (item == failing_item) throw std::runtime_error("item failed");
    applied->fetch_add(1);
    if (item < 100) w->add(item + 100);
  }
};

// A stream's exception too. The same object then runs an empty stream (no application: item 0
// would throw) and a full one.
TEST_P(ParallelWhileTest, ABodyExceptionReachesTheCallerAndTheObjectRunsAgain) {
  std::atomic<int> applied{0};
  in_pool([&] {
    parallel_while<failing_body> w;
    counting_stream failing{100};
    EXPECT_THROW(w.run(failing, failing_body{&w, &applied, 50}), std::runtime_error);
    counting_stream broken{1, true};
    EXPECT_THROW(w.run(broken, failing_body{&w, &applied, -1}), std::runtime_error);
    applied = 0;
    counting_stream empty{0};
    w.run(empty, failing_body{&w, &applied, 0});
    counting_stream again{100};
    w.run(again, failing_body{&w, &applied, -1});
  });
  EXPECT_EQ(applied.load(), 200);
}

INSTANTIATE_TEST_SUITE_P(ThreadCounts, ParallelWhileTest, testing::Values(1, 2, 8, 16),
                         testing::PrintToStringParamName());

// Counts the threads of this process; the pool's workers are among them while they live.
#ifdef _WIN32
std::size_t thread_count() {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  std::size_t threads = 0;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++threads;
  }
  CloseHandle(snapshot);
  return threads;
}
#else
std::size_t thread_count() {
  const std::filesystem::path tasks{"/proc/self/task"};
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator{tasks},
                                                std::filesystem::directory_iterator{}));
}
#endif

// Under qemu-user the join of a thread returns just before its host thread ends; there the count
// is read again until those ends have landed.
std::size_t settled_thread_count() {
  std::size_t count = thread_count();
  if (emulator.empty()) return count;
  for (int reading = 0; reading < 100; ++reading) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::size_t now = thread_count();
    if (now == count) break;
    count = now;
  }
  return count;
}

// Joins whatever pool earlier tests left running, to know the count without workers; a sanitizer
// runtime starts its own helper thread at the first thread creation.
std::size_t thread_count_without_workers() {
  task_scheduler_init{}.terminate();
  std::thread([] {}).join();
  return settled_thread_count();
}

// Gives the pool work until a worker thread has started, beyond `without_workers`.
void start_workers(std::size_t without_workers) {
  for (int attempt = 0; attempt < 100 && thread_count() == without_workers; ++attempt) {
    tbb::parallel_for(0, 64,
                      [](int) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
  }
}

// After a worker thread failed to start, oneTBB would wait for it forever: so a scheduler object
// torn down by an exception leaves its pool to the next termination instead of joining it.
TEST(TaskSchedulerInitTest, TerminateEndsTheWorkerThreadsButAnExceptionsTearDownDoesNot) {
  if (tbb::this_task_arena::max_concurrency() < 2) GTEST_SKIP() << "one CPU: no worker threads";
  const std::size_t without_workers = thread_count_without_workers();
  try {
    task_scheduler_init init(2);
    start_workers(without_workers);
    ASSERT_GT(thread_count(), without_workers) << "no worker thread ever started";
    throw std::runtime_error("unwinding");
  } catch (const std::runtime_error&) {
  }
  EXPECT_GT(settled_thread_count(), without_workers);
  task_scheduler_init init(2);
  start_workers(without_workers);
  init.terminate();
  EXPECT_FALSE(init.is_active());
  EXPECT_EQ(settled_thread_count(), without_workers);
}

#ifndef _WIN32
TEST(TaskSchedulerInitTest, TheSetupsMemoryCheckLeavesNothingMapped) {
  if (!emulator.empty()) GTEST_SKIP() << "the address space read would be the emulator's";
  const std::size_t before = mapped_address_space();
  ASSERT_NE(before, 0u);
  ASSERT_NO_THROW(tbb_layer::ensure_free_address_space(std::size_t{8} << 20));  // what setup asks
  EXPECT_EQ(mapped_address_space(), before);
}
#endif

// Deferred, it starts nothing until initialized.
TEST(TaskSchedulerInitTest, CountOfOneRunsEverythingOnTheCallingThread) {
  task_scheduler_init init(task_scheduler_init::deferred);
  EXPECT_FALSE(init.is_active());
  init.initialize(1);
  std::mutex ids_mutex;  // guards ids
  std::set<std::thread::id> ids;
  tbb::parallel_for(0, 64, [&](int) {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    const std::scoped_lock lock(ids_mutex);
    ids.insert(std::this_thread::get_id());
  });
  EXPECT_EQ(ids, std::set<std::thread::id>{std::this_thread::get_id()});
}

}  // namespace
