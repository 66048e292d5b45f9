#include <string>
#include <vector>

#include "encoder_feed.h"

namespace lentaro::audio {

std::vector<std::string> splitCommandLine(const std::string& cmdline) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;  // a word has begun, even if only "" so far
  bool quoted = false;
  for (const char c : cmdline) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word.push_back(c);
      inWord = true;
    }
  }
  // An unmatched quote runs to the end of the line rather than losing it.
  if (inWord) words.push_back(std::move(word));
  return words;
}

}  // namespace lentaro::audio
