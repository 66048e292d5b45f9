// The engine behind the C interface: the handle table, the output, the
// mixer, the decode-ahead thread and the thread that finishes encoders.
//
// Threads:
// - control: every public member but renderManual() is called by the
//   application's UI thread (tests may use any one thread at a time);
//   init and shutdown never run alongside another call. Control calls do
//   not wait for an encoder: they hand it a deadline and return;
// - the output callback: Mixer::render on the device's, the no-sound
//   output's or renderManual()'s caller's thread. It takes no lock;
// - the decode-ahead thread (decodeLoop(), not with the manual output):
//   fills the channels' rings and keeps the device alive;
// - the finisher thread (finishLoop()): releases encoder feeds once their
//   writer has ended (the process reaped), keeping only their status;
// - each feed's writer thread, which only wakes the finisher.
//
// Lock order: mutex_ (the table lock) -> an encoder feed's status lock
// (taken inside EncoderFeed::status()). Nothing else is ever taken under
// mutex_: no channel's producer lock (callers copy what they need out of
// the table first), and no thread join, waitpid, kill or wait for the
// callback (Mixer::remove, Mixer::waitForCallback) happens while it is
// held. finishMutex_ is taken with no other lock held. The output
// callback takes no lock at all.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
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
  using OutputFactory = std::function<std::unique_ptr<Output>(Mixer&)>;

  // How long encoders get to write the end of their files once their input
  // is closed: each one when its channel is freed, and all of them
  // together (one deadline) at shutdown. Then they are killed.
  static constexpr std::chrono::milliseconds kEncoderFinishBound{5000};

  static Engine& instance();

  bool init(int device, DWORD freq, DWORD flags);
  // As init() with an output of the caller's making (tests: a stand-in
  // device). A kDevice or kNoSound output gets the decode-ahead thread.
  bool initWithOutput(const OutputFactory& make);
  bool shutdown();
  bool initialized() const { return output_ != nullptr; }

  // Takes a decoder as a new decoding channel.
  DWORD addSource(std::unique_ptr<Decoder> decoder, bool module);
  // BASS_ERROR_MEM when every mixer slot holds a channel.
  DWORD createTempo(DWORD source, DWORD flags);
  // Returns without waiting for the channel's encoders.
  bool freeChannel(DWORD handle);

  std::shared_ptr<TempoChannel> tempo(DWORD handle);
  std::shared_ptr<DecodeSource> source(DWORD handle);
  // The source format and length of any channel (a tempo channel reports
  // its source's).
  std::shared_ptr<DecodeSource> formatOf(DWORD handle);
  bool positionAtBlockStart() const;
  // The default for channels made from now on, and for those that follow
  // it.
  void setDefaultStretcher(StretcherKind kind);

  DWORD startEncoder(DWORD channel, std::vector<std::string> argv);
  bool encoderStatus(DWORD handle, EncoderStatus* out);

  int renderManual(int16_t* out, int frames);

  // Frames handed to the output so far (benchmarks: the output clock).
  uint64_t framesRendered() const { return mixer_ ? mixer_->framesRendered() : 0; }

 private:
  using Clock = std::chrono::steady_clock;
  using TableLock = std::lock_guard<std::mutex>;

  struct Entry {
    std::shared_ptr<DecodeSource> source;
    std::shared_ptr<TempoChannel> tempo;  // null for a decoding channel
    DWORD sourceHandle = 0;               // the owned source of a tempo channel
    std::vector<DWORD> encoders;
  };
  // What stays of an encoder: its feed while the writer runs, then only
  // the status it ended with. Kept after its channel is gone.
  struct EncoderRecord {
    std::weak_ptr<TempoChannel> channel;  // set before it is shared
    std::unique_ptr<EncoderFeed> feed;    // mutex_; null once released
    EncoderStatus last;                   // mutex_; the status once released
  };

  Engine() = default;
  // A process that ends without BASS_Free (exit() from a library that lost
  // its display, say) still stops the threads and completes the encoders'
  // files, within the same bound as BASS_Free, instead of aborting on a
  // joinable thread.
  ~Engine() {
    if (output_) shutdown();
  }
  DWORD newHandle() { return nextHandle_.fetch_add(1); }
  void decodeLoop();
  void pumpAll(int targetFrames, bool dropStale);

  // Hands the encoders a deadline; their writers flush, close, wait and
  // kill on their own, and the finisher releases them.
  void closeEncoders(const TableLock&, const std::vector<DWORD>& handles,
                     Clock::time_point deadline);
  // Finisher thread.
  void finishLoop();
  void wakeFinisher();
  // Releases the feeds whose writer has ended; true when none is left.
  bool releaseEndedFeeds();

  std::mutex mutex_;                                          // the table lock
  std::map<DWORD, Entry> table_;                              // mutex_
  std::map<DWORD, std::shared_ptr<EncoderRecord>> encoders_;  // mutex_; outlive their channels
  std::vector<std::shared_ptr<EncoderRecord>> liveEncoders_;  // mutex_; those with a feed
  std::vector<std::shared_ptr<TempoChannel>> active_;         // mutex_; every live tempo channel
  std::atomic<DWORD> nextHandle_{1};

  // Set by init before any engine thread starts, reset by shutdown after
  // all are joined; in between read-only for every thread.
  std::unique_ptr<Mixer> mixer_;
  std::unique_ptr<Output> output_;

  // Started by init, joined by shutdown (the control thread).
  std::thread decodeThread_;
  std::atomic<bool> quit_{false};  // tells the decode-ahead thread to end
  std::thread finisher_;

  std::mutex finishMutex_;
  std::condition_variable finishCv_;
  bool finishWake_ = false;  // finishMutex_; a writer ended, or shutdown asks
  bool finishQuit_ = false;  // finishMutex_; end once no feed is left
};

}  // namespace lentaro::audio
