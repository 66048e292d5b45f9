// Stand-in until the real encoder feed lands: no encoder starts.
#include "encoder_feed.h"

namespace lentaro::audio {
std::unique_ptr<EncoderFeed> startEncoderFeed(const std::vector<std::string>&, int, int) {
  return nullptr;
}
std::vector<std::string> splitCommandLine(const std::string&) { return {}; }
}  // namespace lentaro::audio
