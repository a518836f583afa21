// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
// Program entry: the run and its report, with every failure ending in one line and status 1.
#include "driver.h"

#include "failure.h"

namespace {

// Constructed before every other global of the program (the shared queue allocates), so that
// a failure while they are built is reported like any other.
struct failure_reporting_installer {
  failure_reporting_installer() noexcept { averaging::report_failures_on_terminate(); }
};
[[gnu::init_priority(101)]] const failure_reporting_installer install_failure_reporting;

}  // namespace

int main() { return averaging::run_and_report<averaging::ApplyFoo>(); }
