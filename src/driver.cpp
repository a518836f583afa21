// Fills the queue, runs every value through the averaging body on the worker pool, and reports
// the total, the count and their quotient.
#include <chrono>
#include <iostream>
#include <thread>

#include "averaging_body.h"
#include "item_stream.h"
#include "run_state.h"
#include "tbb_layer.h"

namespace {

constexpr int value_count = 1000;
constexpr int even_position_value = 11;
constexpr int odd_position_value = 10;
constexpr std::chrono::milliseconds pause_before_report{5};

}  // namespace

int main() {
  using namespace averaging;

  for (int i = 0; i < value_count; ++i) {
    queue.push(i % 2 == 0 ? even_position_value : odd_position_value);
  }
  count = value_count;

  tbb_layer::task_scheduler_init init(tbb_layer::task_scheduler_init::automatic);
  tbb_layer::parallel_while<ApplyFoo> w;
  ItemStream stream(queue);
  ApplyFoo body(&w);
  w.run(stream, body);

  std::this_thread::sleep_for(pause_before_report);

  std::cout << "Total=" << total.load() << std::endl;
  std::cout << "Count=" << count.load() << std::endl;
  std::cout << "Average=" << total.load() / static_cast<double>(count.load()) << std::endl;
  return 0;
}
