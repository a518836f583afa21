// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
// The least a oneTBB program costs, the floor that bench/process_bench.py times the whole program
// against: oneTBB loaded, its pool started by a trivial loop, the program's pause, three lines.
#include <oneapi/tbb/parallel_for.h>

#include <iostream>
#include <thread>

#include "driver.h"

int main() {
  tbb::parallel_for(0, averaging::value_count, [](int) {});
  std::this_thread::sleep_for(averaging::pause_before_report);
  std::cout << "Total=0" << std::endl;
  std::cout << "Count=0" << std::endl;
  std::cout << "Average=0" << std::endl;
}
