#include <gtest/gtest.h>

#include "encoder_feed.h"

namespace lentaro::audio {
namespace {

using Words = std::vector<std::string>;

struct SplitCase {
  const char* line;
  Words words;
};

TEST(EncoderCommandLine, SplitsAtSpacesAndGroupsQuotedWords) {
  const SplitCase cases[] = {
      // The recording's own shape: quoted program, "-", quoted output file.
      {R"("/tmp/lame" - "/home/u/My Music/a b_recorded.mp3")",
       {"/tmp/lame", "-", "/home/u/My Music/a b_recorded.mp3"}},
      // A quoted program part may end in a space; it is kept, not trimmed.
      {R"("/tmp/lame " - "x.mp3")", {"/tmp/lame ", "-", "x.mp3"}},
      {"lame  -   out.mp3 ", {"lame", "-", "out.mp3"}},
      {"\tlame\t-\tout.mp3", {"lame", "-", "out.mp3"}},
      // Quotes open and close anywhere in a word and vanish.
      {R"(a"b c"d e)", {"ab cd", "e"}},
      {R"("-leading dash.mp3")", {"-leading dash.mp3"}},
      // An empty pair still makes a word.
      {R"(lame "" x)", {"lame", "", "x"}},
      // Backslashes are plain characters.
      {R"(C:\Temp\lame - "D:\Out\song_recorded.mp3")",
       {"C:\\Temp\\lame", "-", "D:\\Out\\song_recorded.mp3"}},
      {"lame - \"/M\xC3\xBCsik/\xE6\x97\xA5\xE6\x9C\xAC.mp3\"",
       {"lame", "-", "/M\xC3\xBCsik/\xE6\x97\xA5\xE6\x9C\xAC.mp3"}},
      // An unmatched quote runs to the end of the line.
      {R"(lame - "/out/open ended.mp3)", {"lame", "-", "/out/open ended.mp3"}},
      {"", {}},
      {"   ", {}},
  };
  for (const SplitCase& c : cases) {
    EXPECT_EQ(splitCommandLine(c.line), c.words) << "line: " << c.line;
  }
}

}  // namespace
}  // namespace lentaro::audio
