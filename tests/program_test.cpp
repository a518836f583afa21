// Runs the built program as a user would and checks the report of every run.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>

namespace {

#ifdef _WIN32
#define popen _popen
#define pclose _pclose
constexpr const char* read_binary = "rb";  // keep the CR of each line end visible
constexpr const char* line_end = "\r\n";
#else
constexpr const char* read_binary = "r";
constexpr const char* line_end = "\n";
#endif

struct run_result {
  int exit_status;
  std::string out;
  std::string err;
};

int exit_code(int pclose_status) {
#ifdef _WIN32
  return pclose_status;
#else
  return WIFEXITED(pclose_status) ? WEXITSTATUS(pclose_status) : -1;
#endif
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// `prefix` and `arguments` are spliced into a shell command around the quoted program path.
run_result run_program(const std::string& prefix = "", const std::string& arguments = "") {
  const auto err_path = std::filesystem::temp_directory_path() /
                        ("averaging_stderr_" + std::to_string(std::rand()) + ".txt");
  const std::string command = prefix + "\"" + AVERAGING_PROGRAM + "\" " + arguments + " 2>\"" +
                              err_path.string() + "\"";
  FILE* pipe = popen(command.c_str(), read_binary);
  if (pipe == nullptr) return {-1, "", "could not start: " + command};
  std::string out;
  char buffer[256];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  const int status = exit_code(pclose(pipe));
  std::string err = read_file(err_path);
  std::filesystem::remove(err_path);
  return {status, out, err};
}

std::string default_notation(double value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

void expect_report_contract(const run_result& run) {
  ASSERT_EQ(run.exit_status, 0);
  ASSERT_EQ(run.err, "");
  const std::string nl = line_end;
  const std::regex report("(\\+*)Total=([0-9]+)" + nl + "Count=([0-9]+)" + nl +
                          "Average=([^\r\n]+)" + nl);
  std::smatch parts;
  ASSERT_TRUE(std::regex_match(run.out, parts, report)) << run.out;

  const auto pluses = static_cast<int>(parts[1].length());
  const double total = std::stod(parts[2]);
  const int count = std::stoi(parts[3]);
  EXPECT_EQ(pluses, count - 1000) << run.out;
  if (count == 1000) {
    EXPECT_EQ(total, 0.0) << run.out;  // only when no application found a value
  } else {
    EXPECT_EQ(count, 1001) << run.out;
    EXPECT_GE(total, 1010.0) << run.out;
    EXPECT_LE(total, 12000.0) << run.out;
  }
  EXPECT_EQ(parts[4].str(), default_notation(total / count)) << run.out;
}

TEST(ProgramTest, EveryRunKeepsTheReportContract) {
  for (int run = 0; run < 300; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    ASSERT_NO_FATAL_FAILURE(expect_report_contract(run_program()));
  }
}

#ifndef _WIN32
TEST(ProgramTest, IgnoresArgumentsAndEnvironment) {
  const std::string junk_env = "env LC_ALL=de_DE.UTF-8 COUNT=7 TOTAL=-1 OMP_NUM_THREADS=64 ";
  for (int run = 0; run < 30; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    ASSERT_NO_FATAL_FAILURE(
        expect_report_contract(run_program(junk_env, "--count 5 -h '' \"two words\" </dev/null")));
  }
}

TEST(ProgramTest, KeepsTheContractOnOneCpu) {
  if (std::system("taskset -c 0 true >/dev/null 2>&1") != 0) GTEST_SKIP() << "no taskset";
  for (int run = 0; run < 30; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    ASSERT_NO_FATAL_FAILURE(expect_report_contract(run_program("taskset -c 0 ")));
  }
}
#endif

}  // namespace
