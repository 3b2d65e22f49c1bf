// The language-level cases of the scalar datatypes, kept as script case files, run through the
// test runtime until the script runner evaluates them.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "case_file.h"
#include "scalar_harness.h"

namespace kaz::scalar_test {
namespace {

void run_case_file(const char* name) {
  std::string path = std::string(KAZ_SOURCE_DIR) + "/tests/unit/datatypes/cases/" + name;
  std::ifstream in(path);
  ASSERT_TRUE(in) << path;
  std::ostringstream text;
  text << in.rdbuf();
  testing::case_file file = testing::parse_case_file(text.str(), path);
  ASSERT_EQ(file.error, "");
  for (const testing::script_case& c : file.cases) {
    cell result;
    std::string e = evaluate(c.code, &result);
    std::string where = path + ":" + std::to_string(c.line) + ": " + c.code;
    if (c.has_error) {
      EXPECT_EQ(e, "!! " + c.error_type + " " + c.error_id) << where;
    } else if (!e.empty()) {
      ADD_FAILURE() << where << "\n  unexpected " << e;
    } else if (c.has_result) {
      EXPECT_EQ(run_mold(&result), c.result) << where;
    }
  }
}

using ScalarCases = Scalars;

TEST_F(ScalarCases, Time) { run_case_file("time.kaz"); }
TEST_F(ScalarCases, Date) { run_case_file("date.kaz"); }
TEST_F(ScalarCases, Money) { run_case_file("money.kaz"); }
TEST_F(ScalarCases, Tuple) { run_case_file("tuple.kaz"); }
TEST_F(ScalarCases, Bitset) { run_case_file("bitset.kaz"); }

}  // namespace
}  // namespace kaz::scalar_test
