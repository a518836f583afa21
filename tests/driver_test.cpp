#include "driver.h"

#include <gtest/gtest.h>

#include <new>
#include <string>

#include "run_state_fixture.h"

namespace averaging {
namespace {

using DriverTest = RunStateTest;

// What the process wrote on standard error, with the line ends of any platform as "\n".
std::string error_lines(std::string captured) {
  for (std::size_t at; (at = captured.find("\r\n")) != std::string::npos;) captured.erase(at, 1);
  return captured;
}

// Runs out of memory in the middle of the run, as a body creating its extra queue may.
struct out_of_memory_body {
  using argument_type = ApplyFoo::argument_type;
  explicit out_of_memory_body(tbb_layer::parallel_while<out_of_memory_body>*) {}
  void operator()(argument_type) const { throw std::bad_alloc(); }
};

TEST_F(DriverTest, AFailedRunEndsWithOneLineAndStatus1AndNoReport) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int status = run_and_report<out_of_memory_body>();
  const std::string err = error_lines(testing::internal::GetCapturedStderr());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(err, "averaging: out of memory\n");
}

TEST_F(DriverTest, AReportThatCannotBeWrittenIsAFailure) {
  std::cout.setstate(std::ios::badbit);  // as after a failed write of a "+"
  testing::internal::CaptureStderr();
  const int status = run_and_report<ApplyFoo>();
  const std::string err = error_lines(testing::internal::GetCapturedStderr());
  std::cout.clear();
  EXPECT_EQ(status, 1);
  EXPECT_EQ(err, "averaging: cannot write the report\n");
}

}  // namespace
}  // namespace averaging
