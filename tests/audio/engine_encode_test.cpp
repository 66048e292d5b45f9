// Recording through a real encoder process: the channel's processed sound
// reaches lame as WAV; failing, missing and killed encoders leave the
// engine playing and report what happened.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "engine_files.h"
#include "engine_signals.h"

namespace lentaro::audio::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class Recording : public ManualEngine {
 protected:
  void SetUp() override {
    ManualEngine::SetUp();
    dir_ = fs::temp_directory_path() / ("lentaro-rec-" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    ManualEngine::TearDown();
    fs::remove_all(dir_);
  }

  // Renders `seconds` of output, no faster than the encoder takes it, so
  // its two-second ring never overflows even offline.
  void renderPaced(HENCODE enc, double seconds) {
    const int block = 4410;
    QWORD pushed = 0;
    for (int i = 0; i < seconds * 10; ++i) {
      render(block);
      pushed += 4 * block;
      BASS_ENCODE_STATUS st{};
      for (int w = 0; w < 2000; ++w) {
        ASSERT_TRUE(BASS_Encode_GetStatus(enc, &st));
        if (!st.running || st.bytesWritten + 44100 * 4 >= pushed) break;
        std::this_thread::sleep_for(1ms);
      }
    }
  }

  static double mp3Seconds(const fs::path& p) {
    const std::string s = p.string();
    const DWORD h = BASS_StreamCreateFile(FALSE, s.c_str(), 0, 0, 0x80200000u);
    if (h == 0) return -1;
    const double secs = BASS_ChannelBytes2Seconds(h, BASS_ChannelGetLength(h, BASS_POS_BYTE));
    BASS_StreamFree(h);
    return secs;
  }

  fs::path dir_;
};

TEST_F(Recording, LameRecordsWhatIsPlayedAfterTempoPitchAndVolume) {
  const fs::path out = dir_ / "take one.mp3";
  const DWORD ch = openLikeTheApp(corpus("tone.wav"));
  ASSERT_NE(ch, 0u);
  ASSERT_TRUE(BASS_ChannelSetAttribute(ch, BASS_ATTRIB_VOL, 0.8f));
  ASSERT_TRUE(BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO, -20));
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  const std::string o = out.string();
  const char* argv[] = {"/usr/bin/lame", "--quiet", "-", o.c_str(), nullptr};
  const HENCODE enc = BASS_Encode_StartArgv(ch, argv, BASS_ENCODE_AUTOFREE, nullptr, nullptr);
  ASSERT_NE(enc, 0u) << BASS_ErrorGetCode();
  renderPaced(enc, 3.0);
  ASSERT_TRUE(BASS_StreamFree(ch));  // ends the encoder, which finishes the file

  // Readable after its channel is gone, and after the engine has let go
  // of the feed.
  const BASS_ENCODE_STATUS st = endedStatus(enc);
  EXPECT_FALSE(st.failed);
  EXPECT_EQ(st.exitStatus, 0);
  EXPECT_EQ(st.bytesDropped, 0u);
  EXPECT_EQ(st.bytesWritten, 44u + 3 * 44100 * 4) << "header plus every played frame";
  EXPECT_NEAR(mp3Seconds(out), 3.0, 0.03);
}

TEST_F(Recording, TheCommandLineFormOfTheApplicationReachesLameIntact) {
  // The application's own shape: a quoted program with a trailing space,
  // then "-" and the quoted output path.
  const fs::path out = dir_ / "my \"quoted\" song – ü.mp3";
  const DWORD ch = openLikeTheApp(corpus("cbr128.mp3"));
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  const std::string cmd = "\"/usr/bin/lame \" - \"" + dir_.string() + "/my ";
  // Quotes inside a file name cannot pass through the quoted command line;
  // the argument vector form takes any name.
  const HENCODE byLine = BASS_Encode_Start(ch, (cmd + "song – ü.mp3\"").c_str(),
                                           BASS_ENCODE_AUTOFREE, nullptr, nullptr);
  ASSERT_NE(byLine, 0u) << BASS_ErrorGetCode();
  const std::string o = out.string();
  const char* argv[] = {"/usr/bin/lame", "--quiet", "-", o.c_str(), nullptr};
  const HENCODE byArgv = BASS_Encode_StartArgv(ch, argv, 0, nullptr, nullptr);
  ASSERT_NE(byArgv, 0u);
  renderPaced(byArgv, 1.0);
  ASSERT_TRUE(BASS_StreamFree(ch));
  EXPECT_EQ(endedStatus(byLine).exitStatus, 0);
  EXPECT_EQ(endedStatus(byArgv).exitStatus, 0);
  EXPECT_NEAR(mp3Seconds(dir_ / "my song – ü.mp3"), 1.0, 0.03);
  EXPECT_NEAR(mp3Seconds(out), 1.0, 0.03);
}

TEST_F(Recording, EncoderFailuresLeavePlaybackRunningAndAreReported) {
  const DWORD ch = openLikeTheApp(corpus("tone.wav"));
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));

  EXPECT_EQ(BASS_Encode_Start(ch, "\"/nonexistent/lame \" - \"x.mp3\"", 0, nullptr, nullptr), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_CREATE);
  EXPECT_EQ(BASS_Encode_Start(ch, "", 0, nullptr, nullptr), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_CREATE);

  // One that exits at once, and one killed by a signal mid-stream.
  const char* quits[] = {"/bin/sh", "-c", "exit 3", nullptr};
  const char* dies[] = {"/bin/sh", "-c", "head -c 100000 >/dev/null; kill -KILL $$", nullptr};
  const HENCODE quit = BASS_Encode_StartArgv(ch, quits, 0, nullptr, nullptr);
  const HENCODE killed = BASS_Encode_StartArgv(ch, dies, 0, nullptr, nullptr);
  ASSERT_NE(quit, 0u);
  ASSERT_NE(killed, 0u);
  for (int i = 0; i < 30; ++i) {
    render(4410);
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_EQ(BASS_ChannelIsActive(ch), DWORD{BASS_ACTIVE_PLAYING});
  ASSERT_TRUE(BASS_StreamFree(ch));

  BASS_ENCODE_STATUS st = endedStatus(quit);
  EXPECT_TRUE(st.failed);
  EXPECT_EQ(st.exitStatus, 3);
  st = endedStatus(killed);
  EXPECT_TRUE(st.failed);
  EXPECT_EQ(st.termSignal, 9);
  EXPECT_FALSE(BASS_Encode_GetStatus(0, &st));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

TEST_F(Recording, FreeingTheEngineFinishesARunningRecording) {
  const fs::path out = dir_ / "closed mid-recording.mp3";
  const DWORD ch = openLikeTheApp(corpus("tone.wav"));
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  const std::string o = out.string();
  const char* argv[] = {"/usr/bin/lame", "--quiet", "-", o.c_str(), nullptr};
  const HENCODE enc = BASS_Encode_StartArgv(ch, argv, BASS_ENCODE_AUTOFREE, nullptr, nullptr);
  ASSERT_NE(enc, 0u);
  renderPaced(enc, 2.0);
  ASSERT_TRUE(BASS_Free());  // the window closes while recording
  BASS_ENCODE_STATUS st{};
  ASSERT_TRUE(BASS_Encode_GetStatus(enc, &st));
  EXPECT_FALSE(st.running);
  EXPECT_EQ(st.exitStatus, 0);
  ASSERT_TRUE(BASS_Init(0, 44100, BASS_DEVICE_MANUAL, nullptr, nullptr));  // for TearDown
  EXPECT_NEAR(mp3Seconds(out), 2.0, 0.03);
}

}  // namespace
}  // namespace lentaro::audio::test
