// Windows command-line rules, as pure functions that both builds compile: the
// Linux entry rebuilds the command tail with them, and the Linux process
// launch splits the installer's command line with them.
#pragma once

#include <string>
#include <vector>

namespace platform {

// One argument quoted so that the Windows splitting rules give it back
// unchanged: left alone unless it is empty or holds a blank, tab or double
// quote; otherwise wrapped in double quotes, with a double quote written as
// \" and the backslashes before a quote (or before the closing quote) doubled.
std::string QuoteWindowsArg(const std::string& arg);
// The same, always wrapped in double quotes: how the launcher writes every
// value it quotes, so that "C:\x\" stays one argument ending in a backslash.
std::string QuoteWindowsArgAlways(const std::string& arg);

// The arguments after the program name joined with one blank, each quoted by
// QuoteWindowsArg: the command tail a Windows program would receive for the
// same typed command.
std::string JoinCommandTail(const std::vector<std::string>& args);

// Splits a command line into arguments by the Windows rules: blanks and tabs
// separate; double quotes group and are removed, also in the middle of a word;
// inside quotes "" is a literal quote; 2n backslashes before a quote give n
// backslashes, 2n+1 give n and a literal quote; other backslashes are literal.
// The first argument follows the program-name rule: quotes group, backslashes
// are always literal.
std::vector<std::string> SplitWindowsCommandLine(const std::string& line);

}  // namespace platform
