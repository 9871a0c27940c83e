// The pure rules of the Windows build: the command tail, conversions to an
// ANSI code page, the handles a child inherits, the console's events. Wine
// shows the first three end to end (tests/e2e/test_languages.sh,
// test_windows.sh); a closing console only here.
#include <gtest/gtest.h>

#include <string>

#include "platform/shared/text_decode.h"
#include "platform/shared/windows_rules.h"

namespace platform {
namespace {

TEST(CommandTailTest, WhatFollowsTheProgramNameAsTheRuntimeCutsIt) {
  const struct {
    std::u16string line;
    std::u16string tail;
  } cases[] = {
      {u"setup.exe -SILENT x", u"-SILENT x"},
      {u"\"C:\\Program Files\\setup.exe\"  -SILENT", u"-SILENT"},
      // A quote toggles: the name goes on after a closing quote.
      {u"\"C:\\a b\"\\setup.exe -x", u"-x"},
      {u"\"setup.exe\"x y", u"y"},
      {u"set\"u p\".exe\t \t-x \"a b\" ", u"-x \"a b\" "},
      // Letters beyond ASCII belong to the name; control characters end it.
      {u"C:\\\u0141\u00f3d\u017a\\setup.exe -jreLoc C:\\\u0141ukasz", u"-jreLoc C:\\\u0141ukasz"},
      {u"setup.exe\u0001-x", u"-x"},
      {u"setup.exe", u""},
      {u"setup.exe   ", u""},
      {u"\"setup.exe -SILENT", u""},
      {u"", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(CommandTailOf(c.line), c.tail) << std::string(c.line.begin(), c.line.end());
}

// A stand-in for code page 1252 with WC_NO_BEST_FIT_CHARS: Latin-1 letters
// exactly, nothing else.
bool Latin1(std::u16string_view character, std::string& bytes) {
  if (character.size() != 1 || character[0] > 0xFF) return false;
  bytes = std::string(1, static_cast<char>(character[0]));
  return true;
}

TEST(NarrowExactlyTest, ALetterTheCodePageLacksNeverBecomesALookAlike) {
  bool lossless = false;
  EXPECT_EQ(NarrowExactly(u"C:\\J\u00fcrgen", Latin1, &lossless), "C:\\J\xfcrgen");
  EXPECT_TRUE(lossless);
  // "Ł" would be "L" by best fit: C:\Lukasz\temp is another directory.
  EXPECT_EQ(NarrowExactly(u"C:\\\u0141ukasz\\temp", Latin1, &lossless), "C:\\?ukasz\\temp");
  EXPECT_FALSE(lossless);
  // A full-width backslash would be "\": it must not make a separator.
  EXPECT_EQ(NarrowExactly(u"a\uff3c..", Latin1, &lossless), "a?..");
  // A pair is one character, a surrogate alone is none.
  EXPECT_EQ(NarrowExactly(u"x\U0001F600y", Latin1), "x?y");
  EXPECT_EQ(NarrowExactly(std::u16string(u"a") + char16_t(0xD800) + u"b" + char16_t(0xDC00), Latin1), "a?b?");
  EXPECT_EQ(NarrowExactly(u"", Latin1, &lossless), "");
  EXPECT_TRUE(lossless);
}

TEST(HandlesToInheritTest, OnlyRealInheritableStandardHandlesEachOnce) {
  constexpr uintptr_t kInvalid = ~uintptr_t{0};
  // Redirected input, output and error to one file: the handle once.
  EXPECT_EQ(HandlesToInherit({{0x10, true}, {0x24, true}, {0x24, true}}), (std::vector<uintptr_t>{0x10, 0x24}));
  // Absent, invalid, not inheritable (a console the launcher opened itself),
  // and the console pseudo handles of Windows 7 (low bits 11).
  EXPECT_TRUE(HandlesToInherit({{0, true}, {kInvalid, true}, {0x30, false}}).empty());
  EXPECT_EQ(HandlesToInherit({{0x3, true}, {0x7, true}, {0x2c, true}}), (std::vector<uintptr_t>{0x2c}));
}

TEST(ConsoleEventTest, TheInstallerDecidesAndTheRunEndsItself) {
  EXPECT_EQ(ActOnConsoleEvent(ConsoleEvent::Interrupt), ConsoleEventAction::GoOnWaiting);
  EXPECT_EQ(ActOnConsoleEvent(ConsoleEvent::Break), ConsoleEventAction::GoOnWaiting);
  // The system ends the launcher once its handler returns.
  for (ConsoleEvent ending : {ConsoleEvent::Close, ConsoleEvent::Logoff, ConsoleEvent::Shutdown}) {
    EXPECT_EQ(ActOnConsoleEvent(ending), ConsoleEventAction::HoldUntilTheRunEnds);
  }
}

}  // namespace
}  // namespace platform
