#include "engine.h"

#include <algorithm>
#include <chrono>

#include "engine_error.h"
#include "stretcher.h"
#include "thread_priority.h"

namespace lentaro::audio {

namespace {
// The decode-ahead thread keeps this much sound queued beyond two device
// periods; more would delay tempo and pitch changes.
constexpr int kAheadMargin = 512;
}  // namespace

Engine& Engine::instance() {
  static Engine engine;
  return engine;
}

bool Engine::init(int device, DWORD /*freq*/, DWORD flags) {
  if (output_) return fail(BASS_ERROR_ALREADY, false);
  OutputFactory make;
  if (flags & BASS_DEVICE_MANUAL) {
    make = [](Mixer&) { return makeManualOutput(); };
  } else if (device == 0) {
    make = [](Mixer& m) { return makeNoSoundOutput(m, kOutputRate); };
  } else if (device == -1 || device == 1) {
    make = [](Mixer& m) { return makeDeviceOutput(m, kOutputRate); };
  } else {
    return fail(BASS_ERROR_DEVICE, false);
  }
  return initWithOutput(make);
}

bool Engine::initWithOutput(const OutputFactory& make) {
  if (output_) return fail(BASS_ERROR_ALREADY, false);
  auto mixer = std::make_unique<Mixer>();
  std::unique_ptr<Output> output = make(*mixer);
  if (!output) return fail(BASS_ERROR_DRIVER, false);
  mixer_ = std::move(mixer);
  if (!output->start()) {
    output.reset();
    mixer_.reset();
    return fail(BASS_ERROR_DRIVER, false);
  }
  output_ = std::move(output);
  finishWake_ = false;
  finishQuit_ = false;
  finisher_ = std::thread([this] { finishLoop(); });
  if (output_->kind() != Output::Kind::kManual) {
    quit_.store(false);
    decodeThread_ = std::thread([this] { decodeLoop(); });
  }
  setLastError(BASS_OK);
  return true;
}

bool Engine::shutdown() {
  if (!output_) return fail(BASS_ERROR_INIT, false);
  quit_.store(true);
  if (decodeThread_.joinable()) decodeThread_.join();
  output_->stop();  // from here on no callback runs
  std::map<DWORD, Entry> entries;
  {
    TableLock lock(mutex_);
    entries.swap(table_);
    active_.clear();
    // Every encoder still running gets the rest of its input and the end
    // of it, all against one deadline: the wait below is bounded once, not
    // once per encoder. Those closed before keep their own, earlier one.
    std::vector<DWORD> all;
    for (const auto& [handle, record] : encoders_) {
      if (record->feed) all.push_back(handle);
    }
    closeEncoders(lock, all, Clock::now() + kEncoderFinishBound);
  }
  {
    std::lock_guard<std::mutex> lock(finishMutex_);
    finishQuit_ = true;
    finishWake_ = true;
  }
  finishCv_.notify_one();
  // Bounded: every writer kills its process at its deadline and then ends.
  if (finisher_.joinable()) finisher_.join();
  entries.clear();
  output_.reset();
  mixer_.reset();
  setLastError(BASS_OK);
  return true;
}

DWORD Engine::addSource(std::unique_ptr<Decoder> decoder, bool module) {
  if (!output_) return fail(BASS_ERROR_INIT, DWORD{0});
  const StreamFormat f = decoder->format();
  if (f.channels < 1 || f.channels > 2 || f.rate < 1000 || f.rate > 192000) {
    return fail(BASS_ERROR_FORMAT, DWORD{0});
  }
  Entry entry;
  entry.source = std::make_shared<DecodeSource>(std::move(decoder), module);
  TableLock lock(mutex_);
  const DWORD h = newHandle();
  table_.emplace(h, std::move(entry));
  setLastError(BASS_OK);
  return h;
}

DWORD Engine::createTempo(DWORD sourceHandle, DWORD flags) {
  if (!output_) return fail(BASS_ERROR_INIT, DWORD{0});
  if (!stretchersAvailable()) return fail(BASS_ERROR_NOTAVAIL, DWORD{0});
  std::shared_ptr<DecodeSource> src;
  {
    TableLock lock(mutex_);
    auto it = table_.find(sourceHandle);
    if (it == table_.end()) return fail(BASS_ERROR_HANDLE, DWORD{0});
    if (it->second.tempo) return fail(BASS_ERROR_ILLTYPE, DWORD{0});  // not a decoding channel
    src = it->second.source;
    // One consumer per decoder: a second wrap would race for its reads.
    if (src->wrapped.exchange(true)) return fail(BASS_ERROR_ALREADY, DWORD{0});
  }
  auto ch = std::make_shared<TempoChannel>(src, (flags & BASS_SAMPLE_LOOP) != 0,
                                           (flags & BASS_FX_FREESOURCE) != 0);
  if (!mixer_->add(ch.get())) {
    // Every slot holds a channel: the source stays as it was, wrappable
    // again once a channel is freed.
    src->wrapped.store(false);
    return fail(BASS_ERROR_MEM, DWORD{0});
  }
  Entry entry;
  entry.source = src;
  entry.tempo = ch;
  entry.sourceHandle = (flags & BASS_FX_FREESOURCE) ? sourceHandle : 0;
  TableLock lock(mutex_);
  const DWORD h = newHandle();
  table_.emplace(h, std::move(entry));
  active_.push_back(ch);
  setLastError(BASS_OK);
  return h;
}

bool Engine::freeChannel(DWORD handle) {
  Entry entry;
  {
    TableLock lock(mutex_);
    auto it = table_.find(handle);
    if (it == table_.end()) return fail(BASS_ERROR_HANDLE, false);
    entry = std::move(it->second);
    table_.erase(it);
    if (entry.tempo) {
      active_.erase(std::remove(active_.begin(), active_.end(), entry.tempo), active_.end());
      if (entry.sourceHandle != 0) table_.erase(entry.sourceHandle);
    }
  }
  if (entry.tempo) {
    // Waits for a running callback, so outside the table lock. From here
    // on nothing pushes into the channel's feeds, and closing them loses
    // nothing that was played.
    if (mixer_) mixer_->remove(entry.tempo.get());
    TableLock lock(mutex_);
    closeEncoders(lock, entry.encoders, Clock::now() + kEncoderFinishBound);
  }
  setLastError(BASS_OK);
  return true;
}

void Engine::closeEncoders(const TableLock&, const std::vector<DWORD>& handles,
                           Clock::time_point deadline) {
  for (DWORD e : handles) {
    auto it = encoders_.find(e);
    if (it != encoders_.end() && it->second->feed) it->second->feed->close(deadline);
  }
}

std::shared_ptr<TempoChannel> Engine::tempo(DWORD handle) {
  TableLock lock(mutex_);
  auto it = table_.find(handle);
  if (it == table_.end()) return nullptr;
  return it->second.tempo;
}

std::shared_ptr<DecodeSource> Engine::source(DWORD handle) {
  TableLock lock(mutex_);
  auto it = table_.find(handle);
  if (it == table_.end() || it->second.tempo) return nullptr;
  return it->second.source;
}

std::shared_ptr<DecodeSource> Engine::formatOf(DWORD handle) {
  TableLock lock(mutex_);
  auto it = table_.find(handle);
  if (it == table_.end()) return nullptr;
  return it->second.source;
}

bool Engine::positionAtBlockStart() const {
  return output_ && output_->kind() == Output::Kind::kDevice;
}

void Engine::setDefaultStretcher(StretcherKind kind) {
  setDefaultStretcherKind(kind);
  std::vector<std::shared_ptr<TempoChannel>> list;
  {
    TableLock lock(mutex_);
    list = active_;
  }
  for (auto& ch : list) ch->followDefaultStretcher(kind);
}

DWORD Engine::startEncoder(DWORD channel, std::vector<std::string> argv) {
  std::shared_ptr<TempoChannel> ch = tempo(channel);
  if (!ch) return fail(BASS_ERROR_HANDLE, DWORD{0});
  if (argv.empty() || argv[0].empty()) return fail(BASS_ERROR_CREATE, DWORD{0});
  std::unique_ptr<EncoderFeed> feed =
      startEncoderFeed(argv, kOutputRate, kOutputChannels, [this] { wakeFinisher(); });
  if (!feed) return fail(BASS_ERROR_CREATE, DWORD{0});
  auto record = std::make_shared<EncoderRecord>();
  record->channel = ch;
  int error = BASS_OK;
  DWORD h = 0;
  {
    TableLock lock(mutex_);
    auto it = table_.find(channel);
    if (it == table_.end()) {
      error = BASS_ERROR_HANDLE;  // freed meanwhile
    } else if (!ch->attachFeed(feed.get())) {
      error = BASS_ERROR_ALREADY;  // kMaxFeeds encoders on it already
    } else {
      h = newHandle();
      record->feed = std::move(feed);
      encoders_.emplace(h, record);
      liveEncoders_.push_back(record);
      it->second.encoders.push_back(h);
    }
  }
  if (error != BASS_OK) {
    // It never got any sound: killed and reaped at once, outside the lock.
    feed->finish(std::chrono::milliseconds(0));
    return fail(error, DWORD{0});
  }
  setLastError(BASS_OK);
  return h;
}

bool Engine::encoderStatus(DWORD handle, EncoderStatus* out) {
  {
    TableLock lock(mutex_);
    auto it = encoders_.find(handle);
    if (it == encoders_.end()) return fail(BASS_ERROR_HANDLE, false);
    const EncoderRecord& record = *it->second;
    *out = record.feed ? record.feed->status() : record.last;
  }
  setLastError(BASS_OK);
  return true;
}

void Engine::wakeFinisher() {
  {
    std::lock_guard<std::mutex> lock(finishMutex_);
    finishWake_ = true;
  }
  finishCv_.notify_one();
}

void Engine::finishLoop() {
  std::unique_lock<std::mutex> lock(finishMutex_);
  for (;;) {
    finishCv_.wait(lock, [this] { return finishWake_; });
    finishWake_ = false;
    const bool quitting = finishQuit_;
    lock.unlock();
    const bool none = releaseEndedFeeds();
    lock.lock();
    // Each writer that ends sets finishWake_ again, so none is missed.
    if (quitting && none) return;
  }
}

bool Engine::releaseEndedFeeds() {
  struct Ended {
    std::shared_ptr<EncoderRecord> record;
    EncoderFeed* feed;
    std::shared_ptr<TempoChannel> channel;  // null once the channel is gone
  };
  std::vector<Ended> ended;
  bool running = false;
  {
    TableLock lock(mutex_);
    for (auto it = liveEncoders_.begin(); it != liveEncoders_.end();) {
      EncoderRecord& r = **it;
      if (r.feed->ended()) {
        ended.push_back({*it, r.feed.get(), r.channel.lock()});
        it = liveEncoders_.erase(it);
      } else {
        running = true;
        ++it;
      }
    }
  }
  if (ended.empty()) return !running;
  // A channel that still lives (its encoder ended on its own) may be in a
  // callback that holds the feed: take it off, then let that callback
  // finish. A channel that is gone was removed from the mixer first.
  bool detached = false;
  for (const Ended& e : ended) {
    if (e.channel) {
      e.channel->detachFeed(e.feed);
      detached = true;
    }
  }
  if (detached) mixer_->waitForCallback();
  std::vector<std::unique_ptr<EncoderFeed>> released;
  {
    TableLock lock(mutex_);
    for (Ended& e : ended) {
      e.record->last = e.record->feed->status();
      released.push_back(std::move(e.record->feed));
    }
  }
  // Outside the lock: joins writers that have returned or are about to,
  // and frees their rings. The last reference to a freed channel may go
  // here too.
  released.clear();
  ended.clear();
  return !running;
}

void Engine::pumpAll(int targetFrames, bool dropStale) {
  std::vector<std::shared_ptr<TempoChannel>> list;
  {
    TableLock lock(mutex_);
    list = active_;
  }
  for (auto& ch : list) {
    if (!ch->isPlaying()) continue;
    if (dropStale) ch->dropStale();
    ch->pump(targetFrames);
  }
}

int Engine::renderManual(int16_t* out, int frames) {
  if (!output_ || output_->kind() != Output::Kind::kManual) {
    return fail(BASS_ERROR_NOTAVAIL, -1);
  }
  if (frames < 0 || (frames > 0 && out == nullptr)) return fail(BASS_ERROR_ILLPARAM, -1);
  int done = 0;
  while (done < frames) {
    const int n = std::min(frames - done, Mixer::kMaxBlock);
    // This thread is the callback here, so it may drop stale chunks itself
    // and then decode just what the block needs: no gaps.
    pumpAll(n + kChunkFrames, true);
    mixer_->render(out + 2 * done, n);
    done += n;
  }
  setLastError(BASS_OK);
  return frames;
}

void Engine::decodeLoop() {
  // A device's channels must be filled in time however busy the machine
  // is; the no-sound device is only a clock and keeps ordinary priority.
  if (output_->kind() == Output::Kind::kDevice) raiseThreadPriority(ThreadRole::kDecode);
  auto nextCheck = Clock::now();
  std::vector<std::shared_ptr<TempoChannel>> list;
  while (!quit_.load()) {
    // Read every pass: a device reopened by keepAlive() may run with
    // another period.
    const int target = 2 * output_->periodFrames() + kAheadMargin;
    {
      TableLock lock(mutex_);
      list = active_;
    }
    bool worked = false;
    for (auto& ch : list) worked = ch->pump(target) || worked;
    list.clear();  // holds no channel between passes
    if (Clock::now() >= nextCheck) {
      output_->keepAlive();
      nextCheck = Clock::now() + output_->keepAliveInterval();
    }
    // Idle: half a device period. The queue holds two periods and more,
    // and control calls prepare their own first chunks, so this never
    // delays a seek or a start.
    if (!worked) {
      std::this_thread::sleep_for(std::chrono::microseconds(
          std::clamp(output_->periodFrames() * 500000LL / kOutputRate, 2000LL, 10000LL)));
    }
  }
}

}  // namespace lentaro::audio
