// The launch service's command line split the way Windows programs split theirs: what a guest
// writes in quotes and backslashes reaches the program as the same words as on Windows.
#include <gtest/gtest.h>

#include "platform/posix/posix_launch.h"

namespace velmora {
namespace {

TEST(LaunchSplit, WindowsRules) {
  struct Case {
    const char* line;
    std::vector<std::string> words;
  };
  const Case cases[] = {
      {"", {}},
      {"  \t ", {}},
      {"prog", {"prog"}},
      {"  prog   a\tb  ", {"prog", "a", "b"}},
      {"prog \"a b\" c", {"prog", "a b", "c"}},
      {"prog a\"b c\"d", {"prog", "ab cd"}},
      {"prog \"\"", {"prog", ""}},
      {"prog \"a\"\"b\"", {"prog", "a\"b"}},      // "" inside quotes is a quote
      {"prog a\\\\b", {"prog", "a\\\\b"}},        // backslashes not before a quote stay
      {"prog a\\\"b", {"prog", "a\"b"}},          // 2n+1 backslashes: n and a quote
      {"prog a\\\\\"b c\"", {"prog", "a\\b c"}},  // 2n backslashes: n, and the quote opens
      {"prog \"unterminated word", {"prog", "unterminated word"}},
      {"touch x;touch y", {"touch", "x;touch", "y"}},  // no shell: ';' is a letter
      {"echo $HOME > out `id`", {"echo", "$HOME", ">", "out", "`id`"}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.words) << c.line;
}

}  // namespace
}  // namespace velmora
