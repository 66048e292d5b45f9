#include "mixer.h"

#include <algorithm>
#include <thread>

#include "encoder_feed.h"
#include "tempo_channel.h"

namespace lentaro::audio {

Mixer::Mixer()
    : mix_(2 * kMaxBlock), channel_(2 * kMaxBlock), monitor_(2 * kMaxBlock), pcm_(2 * kMaxBlock) {}

bool Mixer::add(TempoChannel* channel) {
  for (auto& slot : slots_) {
    TempoChannel* expected = nullptr;
    if (slot.compare_exchange_strong(expected, channel)) return true;
  }
  return false;
}

void Mixer::remove(TempoChannel* channel) {
  for (auto& slot : slots_) {
    TempoChannel* expected = channel;
    if (slot.compare_exchange_strong(expected, nullptr)) break;
  }
  // A callback that started before the slot was cleared may still hold the
  // pointer. Later callbacks cannot see it.
  waitForCallback();
}

void Mixer::waitForCallback() const {
  const uint64_t seq = callbackSeq_.load();
  if (seq & 1) {
    while (callbackSeq_.load() == seq) std::this_thread::yield();
  }
}

void Mixer::render(int16_t* out, int frames) {
  // Odd, and new for every callback: names it to the channels.
  const uint64_t callback = callbackSeq_.fetch_add(1) + 1;
  while (frames > 0) {
    const int n = std::min(frames, kMaxBlock);
    renderBlock(out, n, callback);
    out += 2 * n;
    frames -= n;
  }
  callbackSeq_.fetch_add(1);
}

void Mixer::renderBlock(int16_t* out, int frames, uint64_t callback) {
  std::fill(mix_.begin(), mix_.begin() + 2 * frames, 0.0f);
  for (auto& slot : slots_) {
    TempoChannel* ch = slot.load();
    if (ch == nullptr || !ch->isPlaying()) continue;
    bool monitored = false;
    const int got = ch->render(channel_.data(), frames, callback, monitor_.data(), &monitored);
    if (got <= 0) continue;
    bool pcmReady = false;
    for (int f = 0; f < TempoChannel::kMaxFeeds; ++f) {
      EncoderFeed* feed = ch->feed(f);
      if (feed == nullptr) continue;
      if (!pcmReady) {
        for (int i = 0; i < 2 * got; ++i) pcm_[i] = toPcm16(channel_[i]);
        pcmReady = true;
      }
      feed->push(pcm_.data(), static_cast<size_t>(got));
    }
    for (int i = 0; i < 2 * got; ++i) mix_[i] += channel_[i];
    if (monitored) {
      for (int i = 0; i < 2 * got; ++i) mix_[i] += monitor_[i];
    }
  }
  for (int i = 0; i < 2 * frames; ++i) out[i] = toPcm16(mix_[i]);
  rendered_.fetch_add(static_cast<uint64_t>(frames), std::memory_order_relaxed);
}

}  // namespace lentaro::audio
