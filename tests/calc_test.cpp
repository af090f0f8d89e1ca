// Drives the depman-calc program: writes a document and a script for its
// standard input, runs the real binary and checks what it prints.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#ifdef DEPMAN_CALC_PATH

namespace {

namespace fs = std::filesystem;
using ::testing::EndsWith;
using ::testing::HasSubstr;

// `output` with the time of each edit ("in 0.42 ms") replaced by "in T ms".
std::string WithoutTimings(const std::string& output) {
  static const std::regex kTiming("^recomputed (.*) in [0-9]+\\.[0-9]+ ms");
  std::string result;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    result += line.starts_with("recomputed ")
                  ? std::regex_replace(line, kTiming, "recomputed $1 in T ms")
                  : line;
    result += '\n';
  }
  return result;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct CalcRun {
  std::string output;  // standard output and standard error, timings replaced by "T"
  int exit_code;
};

class CalcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_dir = fs::temp_directory_path() /
            ("depman_calc_" + std::to_string(getpid()) + "_" + info->name());
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }

  std::string WriteFile(const std::string& name, const std::string& content) const {
    const fs::path path = m_dir / name;
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }

  // Runs depman-calc with `args`, feeding it `input`.
  CalcRun Run(const std::string& args, const std::string& input = "") const {
    const std::string command = std::string("'") + DEPMAN_CALC_PATH + "' " + args + " < '" +
                                WriteFile("stdin.txt", input) + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    if (pipe == nullptr) return {"", -1};
    std::string output;
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
    const int status = pclose(pipe);
    return {WithoutTimings(output), WIFEXITED(status) ? WEXITSTATUS(status) : -1};
  }

  // Runs an interactive session on `document` and returns what it printed.
  std::string Session(const std::string& document, const std::string& script,
                      const std::string& options = "") const {
    const CalcRun run = Run("'" + WriteFile("doc.calc", document) + "' -i " + options, script);
    EXPECT_EQ(run.exit_code, 0) << run.output;
    return run.output;
  }

 private:
  fs::path m_dir;
};

// The printed row of the cell on line `number` (the first one, when several are printed).
std::string Row(const std::string& output, int number) {
  const std::regex row("^ +" + std::to_string(number) + "  .*");
  for (const std::string& line : Lines(output)) {
    if (std::regex_match(line, row)) return line;
  }
  return "(no row for line " + std::to_string(number) + ")";
}

// Like HasSubstr, but a failure shows only the missing text: outputs can be megabytes.
::testing::AssertionResult Contains(const std::string& output, const std::string& text) {
  if (output.find(text) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the output lacks:\n" << text;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(CalcTest, BundledExamplesEvaluate) {
  const struct {
    const char* file;
    const char* expected;
  } kExamples[] = {
      {"loan.calc",
       "   4  principal = 250000                            250000\n"
       "   5  annual_rate = 4.5                             4.5\n"
       "   6  years = 25                                    25\n"
       "   8  rate = annual_rate / 100 / 12                 0.00375\n"
       "   9  months = years * 12                           300\n"
       "  10  payment = principal * rate / (1 - (1 + rate\u2026  1389.581195\n"
       "  11  total_interest = payment * months - princip\u2026  166874.3585\n"
       "  14  balance = principal                           250000\n"
       "  15  interest = balance * rate; balance = balanc\u2026  "
       "interest = 937.5, balance = 249547.9188\n"
       "  16  interest = balance * rate; balance = balanc\u2026  "
       "interest = 935.8046955, balance = 249094.1423\n"
       "  17  interest = balance * rate; balance = balanc\u2026  "
       "interest = 934.1030336, balance = 248638.6641\n"
       "  18  paid_off = principal - balance                1361.335856\n"
       "  21  annual_rate = 3.9                             3.9\n"
       "  22  rate = annual_rate / 100 / 12                 0.00325\n"
       "  23  new_payment = balance * rate / (1 - (1 + ra\u2026  1306.476164\n"
       "  24  monthly_saving = payment - new_payment        83.105031\n"
       "  27  lazy payoff_months = ln(new_payment / (new_\u2026  (lazy, not computed)\n"
       "  28  summary = \"pay \" & round(new_payment, 2) & \u2026  "
       "\"pay 1306.48 a month, 83.11 less\"\n"},
      {"units.calc",
       "   2  distance_km = 42.195                          42.195\n"
       "   3  unit = \"mi\"                                   \"mi\"\n"
       "   4  factor = if(unit == \"mi\", 0.621371, 1)        0.621371\n"
       "   5  distance = round(distance_km * factor, 2)     26.22\n"
       "   6  label = distance & \" \" & unit                 \"26.22 mi\"\n"
       "  10  kind = if(distance_km > 40, \"marathon\", \"sh\u2026  \"marathon\"\n"
       "  11  title = \"The \" & kind & \" of Athens\"          \"The marathon of Athens\"\n"},
  };
  for (const auto& example : kExamples) {
    SCOPED_TRACE(example.file);
    const CalcRun run = Run(std::string("'") + DEPMAN_EXAMPLES_DIR + "/" + example.file + "'");
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.output, example.expected);
  }
}

TEST_F(CalcTest, RedefinitionIsSeenOnlyByLaterCellsAndEditsRecomputeOnlyDependents) {
  const std::string output = Session(
      "rate = 0.05\n"
      "a = rate * 100\n"
      "c = 7; d = c * 2\n"
      "rate = 0.1\n"
      "b = rate * 100\n"
      "e = d + a\n",
      ":set 4 rate = 0.2\n"
      ":set 1 rate = 0.01\n"
      ":set 3 c = 8; d = c * 3\n");
  EXPECT_EQ(output,
            "  1  rate = 0.05       0.05\n"
            "  2  a = rate * 100    5\n"
            "  3  c = 7; d = c * 2  c = 7, d = 14\n"
            "  4  rate = 0.1        0.1\n"
            "  5  b = rate * 100    10\n"
            "  6  e = d + a         19\n"
            // The later definition reaches only the cell below it...
            "recomputed 2 of 6 cells in T ms:\n"
            "  4  rate = 0.2      0.2\n"
            "  5  b = rate * 100  20\n"
            // ...and the earlier one only the cells between the two, and theirs.
            "recomputed 3 of 6 cells in T ms:\n"
            "  1  rate = 0.01     0.01\n"
            "  2  a = rate * 100  1\n"
            "  6  e = d + a       15\n"
            "recomputed 2 of 6 cells in T ms:\n"
            "  3  c = 8; d = c * 3  c = 8, d = 24\n"
            "  6  e = d + a         25\n");
}

TEST_F(CalcTest, LazyCellIsComputedOnlyWhenALaterCellReadsIt) {
  const std::string output = Session("x = 2\nlazy big = x * 1000\ny = x + 1\n",
                                     ":append z = big + 1\n"
                                     ":rm 4\n"
                                     ":set 1 x = 5\n"
                                     ":list\n",
                                     "--trace");
  EXPECT_EQ(output,
            "#1 computing\n#1 done\n#3 computing\n#3 done\n"
            "  1  x = 2                2\n"
            "  2  lazy big = x * 1000  (lazy, not computed)\n"
            "  3  y = x + 1            3\n"
            // z reads big, which is computed inside z's computation.
            "#4 computing\n#2 computing\n#2 done\n#4 done\n"
            "recomputed 2 of 4 cells in T ms:\n"
            "  2  lazy big = x * 1000  2000\n"
            "  4  z = big + 1          2001\n"
            "recomputed nothing in T ms\n"
            // With no reader left, big is marked invalid but not computed.
            "#2 invalid\n#3 invalid\n#2 invalid\n#3 invalid\n"
            "#1 computing\n#1 done\n#3 computing\n#3 done\n"
            "recomputed 2 of 3 cells in T ms:\n"
            "  1  x = 5      5\n"
            "  3  y = x + 1  6\n"
            "  1  x = 5                5\n"
            "  2  lazy big = x * 1000  (lazy, not computed)\n"
            "  3  y = x + 1            6\n");
}

TEST_F(CalcTest, LazyAndClearCommandsChangeWhatIsComputed) {
  const std::string output = Session("x = 2\ny = x * 3\n",
                                     ":lazy 2 on\n"
                                     ":set 1 x = 4\n"
                                     ":lazy 2 off\n"
                                     ":clear 1 0\n"
                                     ":quit\n"
                                     ":list\n");
  EXPECT_EQ(output,
            "  1  x = 2      2\n"
            "  2  y = x * 3  6\n"
            "recomputed nothing in T ms\n"
            "recomputed 1 of 2 cells in T ms:\n"
            "  1  x = 4  4\n"
            "recomputed 1 of 2 cells in T ms:\n"
            "  2  y = x * 3  12\n"
            // Clearing drops the cell's result and invalidates its readers.
            "recomputed 2 of 2 cells in T ms:\n"
            "  1  x = 4      4\n"
            "  2  y = x * 3  12\n");
}

TEST_F(CalcTest, EqualStringResultStopsRecomputation) {
  const std::string output = Session(
      "x = 1\n"
      "y = if(x > 0, \"pos\", \"neg\")\n"
      "d = y & \"!\"\n",
      ":set 1 x = 2\n"
      ":set 1 x = -1\n");
  EXPECT_EQ(output,
            "  1  x = 1                        1\n"
            "  2  y = if(x > 0, \"pos\", \"neg\")  \"pos\"\n"
            "  3  d = y & \"!\"                  \"pos!\"\n"
            "recomputed 2 of 3 cells in T ms:\n"
            "  1  x = 2                        2\n"
            "  2  y = if(x > 0, \"pos\", \"neg\")  \"pos\"\n"
            "recomputed 3 of 3 cells in T ms:\n"
            "  1  x = -1                       -1\n"
            "  2  y = if(x > 0, \"pos\", \"neg\")  \"neg\"\n"
            "  3  d = y & \"!\"                  \"neg!\"\n");
}

TEST_F(CalcTest, UntakenBranchOfIfIsNoDependency) {
  const std::string output = Session("flag = 1\nv = if(flag, 5, missing)\n",
                                     ":insert 2 missing = 3\n"
                                     ":set 1 flag = 0\n");
  EXPECT_EQ(output,
            "  1  flag = 1                  1\n"
            "  2  v = if(flag, 5, missing)  5\n"
            "recomputed 1 of 3 cells in T ms:\n"
            "  2  missing = 3  3\n"
            "recomputed 2 of 3 cells in T ms:\n"
            "  1  flag = 0                  0\n"
            "  3  v = if(flag, 5, missing)  3\n");
}

TEST_F(CalcTest, EvaluationErrorsStayInTheirCellsAndNameTheirOrigin) {
  const struct {
    const char* cell;
    const char* value;
  } kCases[] = {
      {"a = 1 / 0", "#error: division by zero"},
      {"a = 5 % 0", "#error: division by zero"},
      {"a = rate * 2", "#error: unknown name 'rate'"},
      {"a = \"x\" + 1", "#error: type error: '+' needs a number, got a string"},
      {"a = -\"x\"", "#error: type error: '-' needs a number, got a string"},
      {"a = \"x\" < 1", "#error: type error: cannot compare a string with a number"},
      {"a = if(\"yes\", 1, 2)", "#error: type error: if needs a number, got a string"},
      {"a = sqrt(-1)", "#error: sqrt of a negative number"},
      {"a = ln(0)", "#error: ln of a number that is not positive"},
      {"a = 10 ^ 400", "#error: '^': result out of range"},
      {"a = 1; b = a / 0", "a = 1, b = #error: division by zero"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.cell);
    const std::string output = Session(std::string(c.cell) + "\nok = 6 * 7\n", "");
    EXPECT_THAT(Row(output, 1), EndsWith(c.value));
    EXPECT_THAT(Row(output, 2), EndsWith("  42"));
  }

  // Readers name the cell and name where the error arose, however far away.
  const std::string output = Session(
      "rate = 1 / 0\n"
      "pay = rate * 2\n"
      "total = pay + 1\n"
      "fine = 3 * 4\n",
      ":set 1 rate = 1 / 4\n");
  EXPECT_THAT(Row(output, 2), EndsWith("#error: 'rate' (line 1): division by zero"));
  EXPECT_THAT(Row(output, 3), EndsWith("#error: 'rate' (line 1): division by zero"));
  EXPECT_THAT(Row(output, 4), EndsWith("  12"));
  EXPECT_THAT(output, HasSubstr("recomputed 3 of 4 cells in T ms:\n"
                                "  1  rate = 1 / 4     0.25\n"
                                "  2  pay = rate * 2   0.5\n"
                                "  3  total = pay + 1  1.5\n"));
}

TEST_F(CalcTest, MalformedCellsBecomeSyntaxErrors) {
  const struct {
    std::string cell;
    std::string value;
  } kCases[] = {
      {"x = = 3", "syntax error: expected a value, found '='"},
      {"x = 1 = 2", "syntax error: unexpected '=' (compare with ==)"},
      {"= 5", "syntax error: expected a value, found '='"},
      {"x = 1 2", "syntax error: expected an operator or ';', found '2'"},
      {"x = (1 + 2", "syntax error: expected ')', found end of line"},
      {"x = \"abc", "syntax error: unterminated string"},
      {"x = 3 $ 4", "syntax error: unexpected character '$'"},
      {"x = 1.2.3", "syntax error: malformed number '1.2.3'"},
      {"x = foo(1)", "syntax error: unknown function 'foo'"},
      {"x = sqrt(1, 2)", "syntax error: sqrt takes 1 argument"},
      {"x = round()", "syntax error: round takes 1 or 2 arguments"},
      {"x = if(1, 2)", "syntax error: if takes 3 arguments: if(condition, then, else)"},
      {";", "syntax error: empty cell"},
      {"x = " + std::string(300, '(') + "1" + std::string(300, ')'),
       "syntax error: formula nested too deeply"},
  };
  std::string document;
  for (const auto& c : kCases) document += c.cell + "\n";
  document += "ok = 1 + 1  # a comment\ny = x & \"?\"\n";
  const std::string output = Session(document, "");
  for (std::size_t i = 0; i < std::size(kCases); ++i) {
    SCOPED_TRACE(kCases[i].cell);
    EXPECT_THAT(Row(output, static_cast<int>(i) + 1), EndsWith("#error: " + kCases[i].value));
  }
  const int ok_line = static_cast<int>(std::size(kCases)) + 1;
  EXPECT_THAT(Row(output, ok_line), EndsWith("  2"));
  // A malformed cell still defines its name, so its readers see the error.
  EXPECT_THAT(Row(output, ok_line + 1), EndsWith("#error: 'x' (line 14): " + kCases[13].value));
}

TEST_F(CalcTest, UsageErrorsSayWhatIsWrong) {
  const std::string missing = (fs::temp_directory_path() / "depman_calc_no_such.calc").string();
  const struct {
    std::string args;
    int exit_code;
    std::string output;
  } kCases[] = {
      {"'" + missing + "'", 1,
       "depman-calc: cannot open '" + missing + "': No such file or directory\n"},
      {"'" + fs::temp_directory_path().string() + "'", 1,
       "depman-calc: cannot read '" + fs::temp_directory_path().string() +
           "': it is a directory\n"},
      {"--frobnicate", 2, "depman-calc: unknown option '--frobnicate' (--help shows usage)\n"},
      {"a.calc b.calc", 2,
       "depman-calc: more than one FILE: 'a.calc' and 'b.calc' (--help shows usage)\n"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.args);
    const CalcRun run = Run(c.args);
    EXPECT_EQ(run.exit_code, c.exit_code);
    EXPECT_EQ(run.output, c.output);
  }
}

TEST_F(CalcTest, BadCommandsAreReportedAndTheSessionCarriesOn) {
  const std::string output = Session("x = 1\n# a comment\n",
                                     ":frob\n"
                                     ":set\n"
                                     ":set 9 x = 2\n"
                                     ":rm two\n"
                                     ":rm 1 2\n"
                                     ":lazy 2 on\n"
                                     ":lazy 1 maybe\n"
                                     ":clear 1 deep\n"
                                     ":save /nonexistent-dir/x.calc\n"
                                     ":dump /nonexistent-dir/x.txt\n"
                                     "y = x + 1\n");
  const std::vector<std::string> lines = Lines(output);
  ASSERT_EQ(lines.size(), 13u) << output;
  EXPECT_EQ(lines[1], "error: unknown command ':frob' (:help lists them)");
  EXPECT_EQ(lines[2], "usage: :set N CELL");
  EXPECT_EQ(lines[3], "error: no line 9 (the document has 2 lines)");
  EXPECT_EQ(lines[4], "error: expected a line number, got 'two'");
  EXPECT_EQ(lines[5], "usage: :rm N");
  EXPECT_EQ(lines[6], "error: line 2 is not a cell");
  EXPECT_EQ(lines[7], "usage: :lazy N on|off");
  EXPECT_EQ(lines[8], "error: expected a chain depth, got 'deep'");
  EXPECT_THAT(lines[9], HasSubstr("error: cannot write '/nonexistent-dir/x.calc'"));
  EXPECT_THAT(lines[10], HasSubstr("error: "));
  EXPECT_EQ(lines[11], "recomputed 1 of 2 cells in T ms:");
  EXPECT_EQ(lines[12], "  3  y = x + 1  2");
}

TEST_F(CalcTest, SaveWritesTheDocumentAndDumpListsItsNodes) {
  const std::string document = "# rates\nrate = 2\n\nlazy twice = rate * 2\n";
  const std::string saved = (fs::temp_directory_path() / "depman_calc_saved.calc").string();
  const std::string dumped = (fs::temp_directory_path() / "depman_calc_dump.txt").string();
  Session(document, ":save " + saved + "\n:dump " + dumped + "\n");
  EXPECT_EQ(ReadFile(saved), document);
  EXPECT_THAT(ReadFile(dumped), HasSubstr("Handle 1: rate = 2\n\nHandle 2: lazy twice = rate * 2"));
  fs::remove(saved);
  fs::remove(dumped);
}

// Reading the last of 10,000 lazy cells nests one computation per cell, and
// removing the first cell invalidates all of them; neither may exhaust the stack.
TEST_F(CalcTest, LongChainsOfLazyCellsAreComputedAndRecomputed) {
  std::string document = "v0 = 1\n";
  for (int i = 1; i < 10000; ++i) {
    document += "lazy v" + std::to_string(i) + " = v" + std::to_string(i - 1) + " + 1\n";
  }
  document += "last = v9999 + 0\n";
  const std::string output = Session(document, ":rm 1\n:insert 1 v0 = 5\n:list\n");
  EXPECT_TRUE(Contains(output,
                       "recomputed 10000 of 10000 cells in T ms:\n"
                       "   1  lazy v1 = v0 + 1    #error: unknown name 'v0'\n"
                       "   2  lazy v2 = v1 + 1    #error: 'v1' (line 1): unknown name 'v0'\n"));
  EXPECT_TRUE(Contains(output, "recomputed 10001 of 10001 cells in T ms:\n"));
  EXPECT_EQ(Lines(output).back(), "  10001  last = v9999 + 0        10004");
}

// 10,000 blocks of five cells; editing one block's first cell recomputes that
// block and nothing else, and the block's last cell only when its string changes.
TEST_F(CalcTest, FiftyThousandCellsLoadAndAnEditRecomputesOnlyItsDependents) {
  std::string document;
  for (int j = 0; j < 10000; ++j) {
    const std::string n = std::to_string(j);
    document += "a" + n + " = " + n + "\nb" + n + " = a" + n + " * 2\nc" + n + " = b" + n + " + a" +
                n + "\nd" + n + " = if(c" + n + " > 10, \"big\", \"small\")\ne" + n + " = d" + n +
                " & \"!\"\n";
  }
  const std::string output = Session(document, ":set 25001 a5000 = 5001\n:set 25001 a5000 = 1\n");
  const std::vector<std::string> lines = Lines(output);
  ASSERT_EQ(lines.size(), 50000u + 11u);
  EXPECT_EQ(lines[49999], "  50000  e9999 = d9999 & \"!\"                     \"big!\"");
  EXPECT_EQ(output.substr(output.find("recomputed")),
            "recomputed 4 of 50000 cells in T ms:\n"
            "  25001  a5000 = 5001                            5001\n"
            "  25002  b5000 = a5000 * 2                       10002\n"
            "  25003  c5000 = b5000 + a5000                   15003\n"
            "  25004  d5000 = if(c5000 > 10, \"big\", \"small\")  \"big\"\n"
            "recomputed 5 of 50000 cells in T ms:\n"
            "  25001  a5000 = 1                               1\n"
            "  25002  b5000 = a5000 * 2                       2\n"
            "  25003  c5000 = b5000 + a5000                   3\n"
            "  25004  d5000 = if(c5000 > 10, \"big\", \"small\")  \"small\"\n"
            "  25005  e5000 = d5000 & \"!\"                     \"small!\"\n");
}

}  // namespace

#else

TEST(CalcTest, SkippedWithoutTheExamples) { GTEST_SKIP() << "depman-calc is not built"; }

#endif
