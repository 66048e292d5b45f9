// Recording through the engine's C interface: a playing channel's processed
// sound reaches lame, and the MP3 is complete once the channel is freed.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <thread>

#include "encoder_test_support.h"
#include "lentaro/bass.h"

namespace lentaro::audio {
namespace {

using namespace std::chrono_literals;
using testing::TempDir;

constexpr int kRate = 44100;
constexpr int kAmplitude = 12000;
constexpr long kTolerance = kRate * 30 / 1000;  // 30 ms

void writeToneWav(const std::filesystem::path& path, int seconds) {
  const auto pcm = testing::tone(static_cast<std::size_t>(kRate) * seconds, 2, kRate);
  std::vector<int16_t> loud(pcm.size());
  for (std::size_t i = 0; i < pcm.size(); ++i)
    loud[i] = static_cast<int16_t>(pcm[i] * kAmplitude / 9000);
  const auto bytes = static_cast<uint32_t>(loud.size() * 2);
  auto le = [](std::ofstream& o, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) o.put(static_cast<char>(v >> (8 * i)));
  };
  std::ofstream o(path, std::ios::binary);
  o.write("RIFF", 4);
  le(o, 36 + bytes, 4);
  o.write("WAVEfmt ", 8);
  le(o, 16, 4);
  le(o, 1, 2);
  le(o, 2, 2);
  le(o, kRate, 4);
  le(o, kRate * 4, 4);
  le(o, 4, 2);
  le(o, 16, 2);
  o.write("data", 4);
  le(o, bytes, 4);
  o.write(reinterpret_cast<const char*>(loud.data()), bytes);
}

double rmsOfMiddle(const std::string& pcm) {
  const std::size_t n = pcm.size() / 2;
  const auto* s = reinterpret_cast<const int16_t*>(pcm.data());
  double sum = 0;
  std::size_t count = 0;
  for (std::size_t i = n / 4; i < 3 * n / 4; ++i, ++count) sum += double(s[i]) * s[i];
  return count ? std::sqrt(sum / count) : 0;
}

// The status once the process has ended: freeing the channel returns at
// once and the engine finishes the encoder on a thread of its own.
BASS_ENCODE_STATUS endedStatus(HENCODE enc) {
  BASS_ENCODE_STATUS st{};
  const auto giveUp = std::chrono::steady_clock::now() + 10s;
  while (BASS_Encode_GetStatus(enc, &st) && st.running &&
         std::chrono::steady_clock::now() < giveUp) {
    std::this_thread::sleep_for(1ms);
  }
  return st;
}

class EncoderThroughEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists("/usr/bin/lame")) GTEST_SKIP() << "lame is not installed";
    ASSERT_TRUE(BASS_Init(-1, kRate, BASS_DEVICE_MANUAL, nullptr, nullptr))
        << "the manual output did not open: error " << BASS_ErrorGetCode();
    initialized_ = true;
    writeToneWav(dir_.path() / "tone.wav", 2);
    const std::string wav = (dir_.path() / "tone.wav").string();
    const HSTREAM source =
        BASS_StreamCreateFile(FALSE, wav.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_UNICODE);
    ASSERT_NE(source, 0u) << "a plain WAV file did not open: error " << BASS_ErrorGetCode();
    channel_ = BASS_FX_TempoCreate(source, BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP);
    ASSERT_NE(channel_, 0u);
  }
  void TearDown() override {
    if (initialized_) {
      EXPECT_TRUE(BASS_Free());
    }
  }

  // Renders like a real-time device would: never more than a second ahead
  // of what the encoder has taken.
  void render(HENCODE enc, long frames) {
    std::vector<int16_t> out(512 * 2);
    long done = 0;
    const auto giveUp = std::chrono::steady_clock::now() + 20s;
    while (done < frames) {
      const int n = static_cast<int>(std::min<long>(512, frames - done));
      ASSERT_EQ(BASS_Lentaro_RenderOutput(out.data(), n), n);
      done += n;
      for (;;) {
        BASS_ENCODE_STATUS st{};
        if (enc == 0 || !BASS_Encode_GetStatus(enc, &st) || !st.running) break;
        const QWORD taken = st.bytesWritten > 44 ? st.bytesWritten - 44 : 0;
        if (QWORD(done) * 4 <= taken + st.bytesDropped + kRate * 4) break;
        if (std::chrono::steady_clock::now() > giveUp) break;
        std::this_thread::sleep_for(1ms);
      }
    }
  }

  TempDir dir_;
  bool initialized_ = false;
  HSTREAM channel_ = 0;
};

TEST_F(EncoderThroughEngine, RecordsWhatIsPlayedAndCompletesTheFileWhenTheChannelIsFreed) {
  ASSERT_TRUE(BASS_ChannelSetAttribute(channel_, BASS_ATTRIB_VOL, 0.5f));
  ASSERT_TRUE(BASS_ChannelPlay(channel_, FALSE));
  const auto mp3 = dir_.path() / "my take \xC3\xBC_recorded.mp3";
  // The application's own shape: the quoted program part ends in a space.
  const std::string cmd = "\"/usr/bin/lame \" - \"" + mp3.string() + "\"";
  const HENCODE enc =
      BASS_Encode_Start(channel_, cmd.c_str(), BASS_ENCODE_AUTOFREE, nullptr, nullptr);
  ASSERT_NE(enc, 0u) << "error " << BASS_ErrorGetCode();

  render(enc, 3L * kRate);
  ASSERT_TRUE(BASS_StreamFree(channel_));

  const BASS_ENCODE_STATUS st = endedStatus(enc);
  EXPECT_FALSE(st.running) << "the encoder did not finish once its channel was freed";
  EXPECT_FALSE(st.failed);
  EXPECT_EQ(st.exitStatus, 0);
  EXPECT_EQ(st.bytesDropped, 0u);
  EXPECT_NEAR(double(st.bytesWritten), 44.0 + 3.0 * kRate * 4, kTolerance * 4.0);

  const auto pcm = testing::runForOutput({"mpg123", "-q", "-s", mp3.string()});
  ASSERT_TRUE(pcm.has_value()) << "the MP3 does not decode";
  EXPECT_NEAR(static_cast<long>(pcm->size() / 4), 3L * kRate, kTolerance);
  // After the volume: a sine of amplitude A/2 has an RMS of A/(2*sqrt 2).
  EXPECT_NEAR(rmsOfMiddle(*pcm), kAmplitude / 2 / std::sqrt(2.0), kAmplitude * 0.05);
}

// A missing or failing encoder never stops the playing channel, and what
// became of it stays readable.
TEST_F(EncoderThroughEngine, FailingEncodersLeavePlaybackRunningAndAreReported) {
  ASSERT_TRUE(BASS_ChannelPlay(channel_, FALSE));
  EXPECT_EQ(BASS_Encode_Start(channel_, "\"/nonexistent/lame\" - \"/tmp/x.mp3\"",
                              BASS_ENCODE_AUTOFREE, nullptr, nullptr),
            0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_CREATE);

  const HENCODE enc =
      BASS_Encode_Start(channel_, "/bin/false", BASS_ENCODE_AUTOFREE, nullptr, nullptr);
  ASSERT_NE(enc, 0u);
  render(enc, kRate);
  BASS_ENCODE_STATUS st{};
  const auto until = std::chrono::steady_clock::now() + 5s;
  do {
    render(0, 512);
    ASSERT_TRUE(BASS_Encode_GetStatus(enc, &st));
  } while (st.running && std::chrono::steady_clock::now() < until);
  EXPECT_FALSE(st.running);
  EXPECT_TRUE(st.failed);
  EXPECT_EQ(st.exitStatus, 1);
  EXPECT_EQ(BASS_ChannelIsActive(channel_), DWORD{BASS_ACTIVE_PLAYING});

  ASSERT_TRUE(BASS_StreamFree(channel_));
  ASSERT_TRUE(BASS_Encode_GetStatus(enc, &st));
  EXPECT_TRUE(st.failed);
}

}  // namespace
}  // namespace lentaro::audio
