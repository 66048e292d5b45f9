// Shared helpers for the decoder tests: where the generated corpus lives and
// how to decode a whole file.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "decoder.h"

namespace lentaro::audio::test {

inline std::string corpusPath(const std::string& name) {
  const char* root = std::getenv("LENTARO_TEST_DATA");
  return std::string(root ? root : "testdata") + "/audio/" + name;
}

struct Expected {
  int64_t frames = 0;
  int rate = 0;
  int channels = 0;
};

// Lengths of the source signals behind the corpus files, written by the
// corpus script.
inline std::map<std::string, Expected> expectedLengths() {
  std::map<std::string, Expected> out;
  std::ifstream in(corpusPath("expected.txt"));
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string name;
    Expected e;
    if (fields >> name >> e.frames >> e.rate >> e.channels) out[name] = e;
  }
  return out;
}

// Reads from the current position to the end in chunks of `chunk` frames.
inline std::vector<float> decodeRest(Decoder& dec, long chunk = 4096) {
  const int ch = dec.format().channels;
  std::vector<float> all;
  std::vector<float> buf(static_cast<size_t>(chunk * ch));
  for (;;) {
    const long n = dec.read(buf.data(), chunk);
    if (n <= 0) break;
    all.insert(all.end(), buf.begin(), buf.begin() + n * ch);
  }
  return all;
}

inline std::unique_ptr<Decoder> openOrFail(const std::string& name) {
  int error = -1;
  auto dec = openStreamDecoder(corpusPath(name), &error);
  EXPECT_TRUE(dec) << name << " did not open, error " << error;
  return dec;
}

}  // namespace lentaro::audio::test
