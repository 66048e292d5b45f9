#include "engine.h"

#include <algorithm>
#include <chrono>
#include <csignal>

#include "engine_error.h"

namespace lentaro::audio {

namespace {
// How long an encoder gets to write the end of its file once its input is
// closed: bounded, so closing the window never hangs for good.
constexpr std::chrono::milliseconds kEncoderFinishBound{5000};
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
  // A dead encoder must not take the program down with it on the next write.
  std::signal(SIGPIPE, SIG_IGN);
  auto mixer = std::make_unique<Mixer>();
  std::unique_ptr<Output> output;
  if (flags & BASS_DEVICE_MANUAL) {
    output = makeManualOutput();
  } else if (device == 0) {
    output = makeNoSoundOutput(*mixer, kOutputRate);
  } else if (device == -1 || device == 1) {
    output = makeDeviceOutput(*mixer, kOutputRate);
  } else {
    return fail(BASS_ERROR_DEVICE, false);
  }
  mixer_ = std::move(mixer);
  if (!output->start()) {
    mixer_.reset();
    return fail(BASS_ERROR_DRIVER, false);
  }
  output_ = std::move(output);
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
    std::lock_guard<std::mutex> lock(mutex_);
    entries.swap(table_);
    active_.clear();
  }
  for (auto& [handle, entry] : entries) {
    if (entry.tempo) retire(entry);
  }
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
  std::lock_guard<std::mutex> lock(mutex_);
  const DWORD h = newHandle();
  table_.emplace(h, std::move(entry));
  setLastError(BASS_OK);
  return h;
}

DWORD Engine::createTempo(DWORD sourceHandle, DWORD flags) {
  if (!output_) return fail(BASS_ERROR_INIT, DWORD{0});
  std::shared_ptr<DecodeSource> src;
  {
    std::lock_guard<std::mutex> lock(mutex_);
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
    src->wrapped.store(false);
    return fail(BASS_ERROR_MEM, DWORD{0});
  }
  Entry entry;
  entry.source = src;
  entry.tempo = ch;
  entry.sourceHandle = (flags & BASS_FX_FREESOURCE) ? sourceHandle : 0;
  std::lock_guard<std::mutex> lock(mutex_);
  const DWORD h = newHandle();
  table_.emplace(h, std::move(entry));
  active_.push_back(ch);
  setLastError(BASS_OK);
  return h;
}

bool Engine::freeChannel(DWORD handle) {
  Entry entry;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = table_.find(handle);
    if (it == table_.end()) return fail(BASS_ERROR_HANDLE, false);
    entry = std::move(it->second);
    table_.erase(it);
    if (entry.tempo) {
      active_.erase(std::remove(active_.begin(), active_.end(), entry.tempo), active_.end());
      if (entry.sourceHandle != 0) table_.erase(entry.sourceHandle);
    }
  }
  if (entry.tempo) retire(entry);
  setLastError(BASS_OK);
  return true;
}

void Engine::retire(const Entry& entry) {
  if (mixer_) mixer_->remove(entry.tempo.get());
  std::vector<std::shared_ptr<EncoderRecord>> records;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (DWORD e : entry.encoders) {
      auto it = encoders_.find(e);
      if (it != encoders_.end()) records.push_back(it->second);
    }
  }
  // No callback sees the channel any more, so nothing pushes into these.
  for (auto& r : records) r->feed->finish(kEncoderFinishBound);
}

std::shared_ptr<TempoChannel> Engine::tempo(DWORD handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = table_.find(handle);
  if (it == table_.end()) return nullptr;
  return it->second.tempo;
}

std::shared_ptr<DecodeSource> Engine::source(DWORD handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = table_.find(handle);
  if (it == table_.end() || it->second.tempo) return nullptr;
  return it->second.source;
}

std::shared_ptr<DecodeSource> Engine::formatOf(DWORD handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = table_.find(handle);
  if (it == table_.end()) return nullptr;
  return it->second.source;
}

bool Engine::positionAtBlockStart() const {
  return output_ && output_->kind() == Output::Kind::kDevice;
}

DWORD Engine::startEncoder(DWORD channel, std::vector<std::string> argv) {
  std::shared_ptr<TempoChannel> ch = tempo(channel);
  if (!ch) return fail(BASS_ERROR_HANDLE, DWORD{0});
  if (argv.empty() || argv[0].empty()) return fail(BASS_ERROR_CREATE, DWORD{0});
  auto record = std::make_shared<EncoderRecord>();
  record->channel = channel;
  record->feed = startEncoderFeed(argv, kOutputRate, kOutputChannels);
  if (!record->feed) return fail(BASS_ERROR_CREATE, DWORD{0});
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = table_.find(channel);
  if (it == table_.end() || !ch->attachFeed(record->feed.get())) {
    record->feed->finish(std::chrono::milliseconds(0));
    return fail(it == table_.end() ? BASS_ERROR_HANDLE : BASS_ERROR_ALREADY, DWORD{0});
  }
  const DWORD h = newHandle();
  encoders_.emplace(h, record);
  it->second.encoders.push_back(h);
  setLastError(BASS_OK);
  return h;
}

bool Engine::encoderStatus(DWORD handle, EncoderStatus* out) {
  std::shared_ptr<EncoderRecord> record;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = encoders_.find(handle);
    if (it == encoders_.end()) return fail(BASS_ERROR_HANDLE, false);
    record = it->second;
  }
  *out = record->feed->status();
  setLastError(BASS_OK);
  return true;
}

void Engine::pumpAll(int targetFrames, bool dropStale) {
  std::vector<std::shared_ptr<TempoChannel>> list;
  {
    std::lock_guard<std::mutex> lock(mutex_);
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
  using Clock = std::chrono::steady_clock;
  auto nextCheck = Clock::now();
  std::vector<std::shared_ptr<TempoChannel>> list;
  while (!quit_.load()) {
    const int target = 2 * output_->periodFrames() + kAheadMargin;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      list = active_;
    }
    bool worked = false;
    for (auto& ch : list) worked = ch->pump(target) || worked;
    list.clear();  // holds no channel between passes
    if (Clock::now() >= nextCheck) {
      output_->keepAlive();
      nextCheck = Clock::now() + std::chrono::milliseconds(250);
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
