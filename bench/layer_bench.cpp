// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
// Cost of the parallel-while layer against raw oneTBB and a serial loop, and throughput of the
// real stream and body. Run through bench/ratios.py, which reports ratios of medians.
#include <benchmark/benchmark.h>
#include <oneapi/tbb/parallel_for_each.h>
#include <oneapi/tbb/task_arena.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>

#include "averaging_body.h"
#include "item_stream.h"
#include "run_state.h"
#include "tbb_layer.h"

namespace {

// Yields 0, 1, ..., size - 1, one item per call, like a queue-backed stream.
struct counting_stream {
  std::int64_t size;
  std::atomic<std::int64_t> next{0};
  bool pop_if_present(std::int64_t& item) {
    const std::int64_t taken = next.fetch_add(1, std::memory_order_relaxed);
    if (taken >= size) return false;
    item = taken;
    return true;
  }
};

using item_iterator = tbb_layer::stream_iterator<counting_stream, std::int64_t>;

// Items below `adding_below` that are multiples of 100 add one item each, as the program's body
// can; the added items are above it and add nothing.
bool adds(std::int64_t item, std::int64_t adding_below) {
  return item < adding_below && item % 100 == 0;
}

struct trivial_body {
  using argument_type = std::int64_t;
  tbb_layer::parallel_while<trivial_body>* w;
  std::int64_t adding_below;
  void operator()(std::int64_t item) const {
    benchmark::DoNotOptimize(item);
    if (adds(item, adding_below)) w->add(item + adding_below);
  }
};

// An arena of the benchmark's thread count (second argument; 0 for the automatic count).
tbb::task_arena arena_for(const benchmark::State& state) {
  const auto threads = static_cast<int>(state.range(1));
  return tbb::task_arena(threads > 0 ? threads : tbb::task_arena::automatic);
}

void run_layer(std::int64_t n, std::int64_t adding_below) {
  tbb_layer::parallel_while<trivial_body> w;
  counting_stream stream{n};
  w.run(stream, trivial_body{&w, adding_below});
}

void run_raw_onetbb(std::int64_t n, std::int64_t adding_below) {
  counting_stream stream{n};
  tbb::parallel_for_each(item_iterator{stream}, item_iterator{},
                         [adding_below](std::int64_t item, tbb::feeder<std::int64_t>& f) {
                           benchmark::DoNotOptimize(item);  // a copy, as the layer's body gets
                           if (adds(item, adding_below)) f.add(item + adding_below);
                         });
}

// The lower bound for a stream read one item at a time: pop, then apply, on one thread.
void run_serial(std::int64_t n, std::int64_t adding_below) {
  counting_stream stream{n};
  std::int64_t added = 0;
  for (std::int64_t item; stream.pop_if_present(item);) {
    benchmark::DoNotOptimize(item);
    if (adds(item, adding_below)) ++added;
  }
  for (std::int64_t i = 0; i < added; ++i) benchmark::DoNotOptimize(i);
}

// Times the layer, raw oneTBB and the serial loop side by side in every iteration, in rotating
// order, so that the machine's drift affects all three alike; reports the cost per item of each
// and the ratios.
void compare(benchmark::State& state, std::int64_t adding_below) {
  using clock = std::chrono::steady_clock;
  const std::int64_t n = state.range(0);
  tbb::task_arena arena = arena_for(state);
  std::array<void (*)(std::int64_t, std::int64_t), 3> contenders{run_layer, run_raw_onetbb,
                                                                 run_serial};
  std::array<clock::duration, 3> spent{};
  std::size_t first = 0;
  for (auto _ : state) {
    const auto started = clock::now();
    for (std::size_t k = 0; k < contenders.size(); ++k) {
      const std::size_t which = (first + k) % contenders.size();
      const auto before = clock::now();
      arena.execute([&] { contenders[which](n, adding_below); });
      spent[which] += clock::now() - before;
    }
    first = (first + 1) % contenders.size();
    state.SetIterationTime(std::chrono::duration<double>(clock::now() - started).count());
  }
  const double items = static_cast<double>(state.iterations()) *
                       static_cast<double>(n + (adding_below > 0 ? (n + 99) / 100 : 0));
  const auto per_item = [&](std::size_t which) {
    return std::chrono::duration<double, std::nano>(spent[which]).count() / items;
  };
  state.counters["layer_ns"] = per_item(0);
  state.counters["raw_ns"] = per_item(1);
  state.counters["serial_ns"] = per_item(2);
  state.counters["layer_over_raw"] = per_item(0) / per_item(1);
  state.counters["layer_over_serial"] = per_item(0) / per_item(2);
}

void BM_Trivial(benchmark::State& state) { compare(state, 0); }
void BM_Adding(benchmark::State& state) { compare(state, state.range(0)); }

// The program's stream and body over a queue of N values; count is kept off a multiple of 100
// so the body adds nothing and writes nothing.
void BM_ProgramBody(benchmark::State& state) {
  using namespace averaging;
  tbb::task_arena arena = arena_for(state);
  count = 1001;
  for (auto _ : state) {
    state.PauseTiming();
    for (std::int64_t i = 0; i < state.range(0); ++i) queue.push(i % 2 == 0 ? 11 : 10);
    state.ResumeTiming();
    arena.execute([] {
      tbb_layer::parallel_while<ApplyFoo> w;
      ItemStream stream(queue);
      w.run(stream, ApplyFoo{&w});
    });
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

constexpr std::int64_t smallest = 1'000;
constexpr std::int64_t largest = 1'000'000;

// Items N from 10^3 to 10^6, at 1 thread and at the automatic thread count.
void sizes_and_threads(benchmark::internal::Benchmark* b) {
  b->ArgsProduct({benchmark::CreateRange(smallest, largest, 10), {1, 0}})
      ->ArgNames({"n", "threads"});
}

BENCHMARK(BM_Trivial)->Apply(sizes_and_threads)->UseManualTime();
BENCHMARK(BM_Adding)->Apply(sizes_and_threads)->UseManualTime();
BENCHMARK(BM_ProgramBody)->Apply(sizes_and_threads)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
