#include "messages/format.h"

#include <algorithm>

#include "messages/console.h"
#include "platform/platform.h"
#include "platform/shared/text_decode.h"
#include "test_support.h"

namespace messages {
namespace {

using testing_support::LauncherTest;

TEST(FormatTest, FillsTextsAndNumbers) {
  EXPECT_EQ(FormatText("The call %s failed with %d.", {"F()", 5}), "The call F() failed with 5.");
  EXPECT_EQ(FormatText("%5d|%-4s|%05d|%x|%%", {42, "ab", -7, 255}), "   42|ab  |-0007|ff|%");
  EXPECT_EQ(FormatText("%ld %lu %lld", {1, 2, 3}), "1 2 3");
  EXPECT_EQ(FormatText("%.3s", {"abcdef"}), "abc");
}

TEST(FormatTest, MismatchedTemplatesNeverCrash) {
  // A translator put %d where a text is passed, and the other way round.
  EXPECT_EQ(FormatText("%d files", {"many"}), "many files");
  EXPECT_EQ(FormatText("in %s", {12}), "in 12");
  // Too few arguments, %n, unknown conversions and "*" widths stay as written.
  EXPECT_EQ(FormatText("%s and %s", {"one"}), "one and %s");
  EXPECT_EQ(FormatText("%n%s", {"x"}), "%nx");
  EXPECT_EQ(FormatText("%*d %f %p", {3}), "%*d %f %p");
  EXPECT_EQ(FormatText("trailing %", {}), "trailing %");
  // Huge widths are bounded.
  EXPECT_LE(FormatText("%999999999d", {1}).size(), 5000u);
}

// The conversions a template takes are the placeholders FormatText fills.
TEST(FormatTest, ConversionsAreThePlaceholdersFilled) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"The call %s failed with %d.", "sd"}, {"%5d|%-4s|%05d|%x|%%", "dsdx"}, {"%ld %lu %lld", "dud"},
      {"%n%s", "s"},   {"%*d %f %p", ""},    {"trailing %", ""},        {"100 % sure", "s"},
      {"%%s", ""},     {"no placeholder", ""},
  };
  for (const auto& [tmpl, conversions] : cases) {
    EXPECT_EQ(TemplateConversions(tmpl), conversions) << tmpl;
    // As many arguments as conversions leave no placeholder unfilled, and
    // one more is never used.
    std::string filled = FormatText(tmpl, {"A", "B", "C", "D", "E"});
    EXPECT_EQ(std::count(filled.begin(), filled.end(), 'A') + std::count(filled.begin(), filled.end(), 'B') +
                  std::count(filled.begin(), filled.end(), 'C') + std::count(filled.begin(), filled.end(), 'D'),
              static_cast<long>(conversions.size()))
        << tmpl;
  }
}

// The placeholders copied as written whatever the arguments: what the
// medium checker reports as shown raw.
TEST(FormatTest, UnfilledPlaceholdersAreThoseCopiedAsWritten) {
  const std::vector<std::pair<std::string, size_t>> cases = {
      {"%s and %d", 0}, {"%n%s", 1}, {"%*d %f %p", 3}, {"trailing %", 1}, {"%%n", 0}, {"no placeholder", 0},
  };
  for (const auto& [tmpl, unfilled] : cases) {
    EXPECT_EQ(UnfilledPlaceholders(tmpl), unfilled) << tmpl;
  }
}

TEST(FormatTest, CutToTheBufferSize) {
  EXPECT_EQ(FormatText("Starting %s...\n", {std::string(100, 'x')}, 79).size(), 79u);
  EXPECT_EQ(FormatText("abc", {}, 2), "ab");
}

TEST(Utf16LengthTest, CountsCodeUnits) {
  EXPECT_EQ(Utf16Length("abc"), 3u);
  EXPECT_EQ(Utf16Length("\xc3\xa4\xe2\x82\xac"), 2u);  // ä €
  EXPECT_EQ(Utf16Length("\xf0\x9f\x98\x80"), 2u);      // a surrogate pair
  EXPECT_EQ(Utf16Length("\xff\xfe"), 2u);              // invalid bytes count one each
  EXPECT_EQ(Utf16Length("\xe2\x82"), 2u);              // truncated sequence
  // The count is the decoder's: overlong forms and encoded surrogates are
  // shown byte by byte, so they count one unit a byte.
  auto byte = [](unsigned char b) -> char16_t { return b; };
  for (const char* text : {"\xc0\xaf", "\xe0\x80\xaf", "\xed\xa0\x80", "\xed\xb0\x80x",
                           "\xf4\x90\x80\x80", "\xf0\x9f\x98\x80\xed\xa0\x80"}) {
    EXPECT_EQ(Utf16Length(text), platform::DecodeConsoleText(text, byte).size()) << text;
  }
}

TEST(ConsoleTextTest, UnicodeAndCodePageBytesMix) {
  // Code page 1252 stand-in: the byte's own value (Latin-1 agrees for E4).
  auto latin1 = [](unsigned char b) -> char16_t { return b; };
  // A UTF-8 template around a path in the code page: "ä" both ways.
  EXPECT_EQ(platform::DecodeConsoleText("\xc3\xa4 C:\\J\xe4rgen", latin1), u"\u00e4 C:\\J\u00e4rgen");
  EXPECT_EQ(platform::DecodeConsoleText("\xf0\x9f\x98\x80", latin1), u"\U0001F600");
  // Overlong forms and surrogates are no UTF-8: byte by byte.
  EXPECT_EQ(platform::DecodeConsoleText("\xc0\xaf\xed\xa0\x80", latin1), u"\u00c0\u00af\u00ed\u00a0\u0080");
  EXPECT_EQ(platform::DecodeConsoleText("\xe2\x82", latin1), u"\u00e2\u0082");
}

TEST(ConsoleTextTest, OnlyWellFormedUtf8IsTakenAsUtf8) {
  // What tells a value of a legacy ANSI medium from one written in UTF-8.
  for (const char* text : {"", "C:\\plain", "C:\\J\xc3\xbcrgen \xe4\xb8\xad", "\xf0\x9f\x98\x80"}) {
    EXPECT_TRUE(platform::IsUtf8(text)) << text;
  }
  for (const char* text : {"C:\\J\xfcrgen", "caf\xe9", "\xc3", "x\xe4\xb8", "\xc0\xaf", "\xed\xa0\x80",
                           "\xf4\x90\x80\x80", "\x80", "\xc3\xa4\xff"}) {
    EXPECT_FALSE(platform::IsUtf8(text)) << text;
  }
}

class ConsoleTest : public LauncherTest {};

TEST_F(ConsoleTest, ATextBeyondTheConversionLimitGoesOutAsBytes) {
  // 1022 units and the terminating NUL fill the conversion buffer.
  ConsoleWrite(std::string(1022, 'a'));
  EXPECT_EQ(console_, std::string(1022, 'a'));
  ConsoleWrite(std::string(1023, 'b'));
  EXPECT_EQ(console_.size(), 1022u);
  EXPECT_EQ(out_.substr(1022), std::string(1023, 'b'));
  // The units count, not the bytes: 1022 letters of two bytes each fit.
  console_.clear();
  std::string umlauts;
  for (int i = 0; i < 1022; ++i) umlauts += "\xc3\xbc";
  ConsoleWrite(umlauts);
  EXPECT_EQ(console_, umlauts);
}

TEST_F(ConsoleTest, NothingWithoutAConsoleHandle) {
  ForgetConsoleHandle();
  ConsoleWrite("lost");
  EXPECT_EQ(out_, "");
}

TEST_F(ConsoleTest, ErrorDisplayRule) {
  ShowError("boom\n");
  EXPECT_EQ(boxes_, "Quelta Trevanic Installer|boom\n\n");
  EXPECT_EQ(out_, "");
  testing_support::SetFacts(true, false);
  ShowError("quiet\n");
  EXPECT_EQ(out_, "quiet\n");
}

TEST_F(ConsoleTest, WaitForEnterOnlyInSilentMode) {
  platform::TestOverrides().stdinData = std::string("xy");
  WaitForEnter();
  EXPECT_EQ(out_, "");
  EXPECT_EQ(*platform::TestOverrides().stdinData, "xy");
  testing_support::SetFacts(true, false);
  WaitForEnter();
  EXPECT_EQ(out_, "\nPress Enter to exit...\n");
  EXPECT_EQ(*platform::TestOverrides().stdinData, "y");
  // End of input does not block.
  platform::TestOverrides().stdinData = std::string();
  WaitForEnter();
}

}  // namespace
}  // namespace messages
