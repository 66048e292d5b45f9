// The engine behind the C interface: the handle table, the output, the
// mixer and the decode-ahead thread.
//
// Threads: every member is a control call (the application's UI thread;
// tests may use any one thread at a time) except renderManual(), which is
// the manual output's callback. The table lock is never taken by an output
// callback.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "decode_source.h"
#include "encoder_feed.h"
#include "lentaro/bass.h"
#include "mixer.h"
#include "output.h"
#include "tempo_channel.h"

namespace lentaro::audio {

class Engine {
 public:
  static Engine& instance();

  bool init(int device, DWORD freq, DWORD flags);
  bool shutdown();
  bool initialized() const { return output_ != nullptr; }

  // Takes a decoder as a new decoding channel.
  DWORD addSource(std::unique_ptr<Decoder> decoder, bool module);
  DWORD createTempo(DWORD source, DWORD flags);
  bool freeChannel(DWORD handle);

  std::shared_ptr<TempoChannel> tempo(DWORD handle);
  std::shared_ptr<DecodeSource> source(DWORD handle);
  // The source format and length of any channel (a tempo channel reports
  // its source's).
  std::shared_ptr<DecodeSource> formatOf(DWORD handle);
  bool positionAtBlockStart() const;

  DWORD startEncoder(DWORD channel, std::vector<std::string> argv);
  bool encoderStatus(DWORD handle, EncoderStatus* out);

  int renderManual(int16_t* out, int frames);

  // Frames handed to the output so far (benchmarks: the output clock).
  uint64_t framesRendered() const { return mixer_ ? mixer_->framesRendered() : 0; }

 private:
  struct Entry {
    std::shared_ptr<DecodeSource> source;
    std::shared_ptr<TempoChannel> tempo;  // null for a decoding channel
    DWORD sourceHandle = 0;               // the owned source of a tempo channel
    std::vector<DWORD> encoders;
  };
  struct EncoderRecord {
    std::unique_ptr<EncoderFeed> feed;
    DWORD channel = 0;
  };

  Engine() = default;
  // A process that ends without BASS_Free (exit() from a library that lost
  // its display, say) still stops the threads and completes the encoders'
  // files, instead of aborting on a joinable thread.
  ~Engine() {
    if (output_) shutdown();
  }
  DWORD newHandle() { return nextHandle_.fetch_add(1); }
  void decodeLoop();
  void pumpAll(int targetFrames, bool dropStale);
  // Unlinks a tempo channel from the mixer and ends its encoders.
  void retire(const Entry& entry);

  std::mutex mutex_;  // table, encoders, active list
  std::map<DWORD, Entry> table_;
  std::map<DWORD, std::shared_ptr<EncoderRecord>> encoders_;  // outlive their channels
  std::vector<std::shared_ptr<TempoChannel>> active_;         // every live tempo channel
  std::atomic<DWORD> nextHandle_{1};

  std::unique_ptr<Mixer> mixer_;
  std::unique_ptr<Output> output_;
  std::thread decodeThread_;
  std::atomic<bool> quit_{false};
};

}  // namespace lentaro::audio
