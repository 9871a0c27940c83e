#include "platform/shared/cmdline.h"

#include <gtest/gtest.h>

#include <random>

namespace platform {
namespace {

using Args = std::vector<std::string>;

TEST(CmdlineSplitTest, BlanksAndTabsSeparate) {
  EXPECT_EQ(SplitWindowsCommandLine("prog a b"), (Args{"prog", "a", "b"}));
  EXPECT_EQ(SplitWindowsCommandLine("  prog \t a\t\tb  "), (Args{"prog", "a", "b"}));
  EXPECT_EQ(SplitWindowsCommandLine(""), Args{});
  EXPECT_EQ(SplitWindowsCommandLine("   "), Args{});
  // A line feed is no separator.
  EXPECT_EQ(SplitWindowsCommandLine("prog a\nb"), (Args{"prog", "a\nb"}));
}

TEST(CmdlineSplitTest, ProgramNameTakesBackslashesLiterally) {
  EXPECT_EQ(SplitWindowsCommandLine("\"C:\\Program Files\\jre\\bin\\javaw.exe\" -cp x"),
            (Args{"C:\\Program Files\\jre\\bin\\javaw.exe", "-cp", "x"}));
  // A backslash before the closing quote does not escape it in the program name ...
  EXPECT_EQ(SplitWindowsCommandLine("\"C:\\dir\\\" arg"), (Args{"C:\\dir\\", "arg"}));
  // ... but does in any later argument.
  EXPECT_EQ(SplitWindowsCommandLine("p \"C:\\dir\\\" arg"), (Args{"p", "C:\\dir\" arg"}));
  EXPECT_EQ(SplitWindowsCommandLine("pr\"o g\"ram x"), (Args{"pro gram", "x"}));
}

TEST(CmdlineSplitTest, QuotesGroupAndVanishAnywhereInAWord) {
  EXPECT_EQ(SplitWindowsCommandLine("p \"a b\" c"), (Args{"p", "a b", "c"}));
  EXPECT_EQ(SplitWindowsCommandLine("p a\"b c\"d e"), (Args{"p", "ab cd", "e"}));
  EXPECT_EQ(SplitWindowsCommandLine("p -Dx=\"/a b/c\" y"), (Args{"p", "-Dx=/a b/c", "y"}));
  EXPECT_EQ(SplitWindowsCommandLine("p a\"\"b"), (Args{"p", "ab"}));
  EXPECT_EQ(SplitWindowsCommandLine("p \"\" \"\""), (Args{"p", "", ""}));
  EXPECT_EQ(SplitWindowsCommandLine("p \"a b"), (Args{"p", "a b"}));  // unterminated
  EXPECT_EQ(SplitWindowsCommandLine("p \"a \t b\"  "), (Args{"p", "a \t b"}));
}

TEST(CmdlineSplitTest, DoubledQuoteInsideQuotesIsALiteralQuote) {
  EXPECT_EQ(SplitWindowsCommandLine("p \"a\"\"b\" c"), (Args{"p", "a\"b", "c"}));
  EXPECT_EQ(SplitWindowsCommandLine("p \"a\"\"\" c"), (Args{"p", "a\"", "c"}));
  EXPECT_EQ(SplitWindowsCommandLine("p \"\"\"a\"\"\""), (Args{"p", "\"a\""}));
  // Quoting stays on after the literal quote.
  EXPECT_EQ(SplitWindowsCommandLine("p \"a\"\"b c\""), (Args{"p", "a\"b c"}));
}

TEST(CmdlineSplitTest, BackslashesCountOnlyBeforeAQuote) {
  EXPECT_EQ(SplitWindowsCommandLine("p a\\\\b c\\"), (Args{"p", "a\\\\b", "c\\"}));
  // 2n backslashes and a quote: n backslashes, the quote groups.
  EXPECT_EQ(SplitWindowsCommandLine("p a\\\\\\\\\"b c\""), (Args{"p", "a\\\\b c"}));
  // 2n+1 backslashes and a quote: n backslashes and a literal quote.
  EXPECT_EQ(SplitWindowsCommandLine("p a\\\\\\\"b c"), (Args{"p", "a\\\"b", "c"}));
  EXPECT_EQ(SplitWindowsCommandLine("p \\\"x\\\""), (Args{"p", "\"x\""}));
  // A quoted directory with its trailing backslash doubled.
  EXPECT_EQ(SplitWindowsCommandLine("p \"C:\\x y\\\\\" next"), (Args{"p", "C:\\x y\\", "next"}));
}

TEST(CmdlineSplitTest, InstallerLineSplitsIntoItsArguments) {
  std::string line =
      "\"/opt/jre/bin/java\"  -Dquelta.installer.qti_loc=\"/tmp/s x/qti\" "
      "-Dquelta.installer.extjre=\"true\"  -Xmx512m -Dx=y -cp \"/a:/b c/d.jar:\" Cls "
      "-scratchPath \"/tmp/s x\"  -sourceType network ";
  EXPECT_EQ(SplitWindowsCommandLine(line),
            (Args{"/opt/jre/bin/java", "-Dquelta.installer.qti_loc=/tmp/s x/qti",
                  "-Dquelta.installer.extjre=true", "-Xmx512m", "-Dx=y", "-cp", "/a:/b c/d.jar:",
                  "Cls", "-scratchPath", "/tmp/s x", "-sourceType", "network"}));
}

TEST(CmdlineSplitTest, QuotingLeavesPlainArgumentsAlone) {
  EXPECT_EQ(QuoteWindowsArg("abc"), "abc");
  EXPECT_EQ(QuoteWindowsArg("a\\b\\"), "a\\b\\");
  EXPECT_EQ(QuoteWindowsArg(""), "\"\"");
  EXPECT_EQ(QuoteWindowsArg("a b"), "\"a b\"");
  EXPECT_EQ(QuoteWindowsArg("C:\\x y\\"), "\"C:\\x y\\\\\"");
  EXPECT_EQ(QuoteWindowsArg("say \"hi\""), "\"say \\\"hi\\\"\"");
  EXPECT_EQ(JoinCommandTail({"-paramFile", "C:\\My Files\\q.ini", "-SILENT"}),
            "-paramFile \"C:\\My Files\\q.ini\" -SILENT");
  EXPECT_EQ(JoinCommandTail({}), "");
}

// Whatever the arguments hold, quoting them and splitting the result gives
// them back.
TEST(CmdlineSplitTest, JoinedTailSplitsBackIntoTheSameArguments) {
  std::mt19937 random(20261207);
  const char alphabet[] = {'a', 'b', ' ', '\t', '"', '\\', '\\', '=', '-'};
  std::uniform_int_distribution<size_t> pick(0, sizeof alphabet - 1), length(0, 7), count(0, 5);
  for (int round = 0; round < 2000; ++round) {
    Args args;
    for (size_t n = count(random); n > 0; --n) {
      std::string arg;
      for (size_t k = length(random); k > 0; --k) arg += alphabet[pick(random)];
      args.push_back(arg);
    }
    Args expected = {"C:\\dir\\prog.exe"};
    expected.insert(expected.end(), args.begin(), args.end());
    std::string line = "\"C:\\dir\\prog.exe\" " + JoinCommandTail(args);
    ASSERT_EQ(SplitWindowsCommandLine(line), expected) << line;
  }
}

}  // namespace
}  // namespace platform
