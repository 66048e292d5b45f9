// How SoundTouch's sequence, seek window and overlap settings score against
// the ideal, case by case, calling SoundTouch directly (no engine, no
// files): the measurement the "Fast" stretcher's settings were chosen by.
// Run by hand:
//   soundtouch_settings [--cases ids] [SEQ,SEEK,OVERLAP ...]
// Each setting is given in ms (0,0,8 is SoundTouch's default: sequence and
// seek chosen by tempo; 40,15,8 its "speech" settings). "fast" stands for
// the engine's own choice, through its Fast stretcher. Without settings it
// compares the default, "speech" and "fast".
#include <SoundTouch.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "metrics.h"
#include "score.h"
#include "stretcher.h"

namespace {

using namespace lentaro::quality;

struct CaseDef {
  const char* id;
  double tempo;
  double semitones;
};

constexpr CaseDef kCases[] = {{"t0.5", 0.5, 0}, {"t0.75", 0.75, 0}, {"t1.25", 1.25, 0},
                              {"t1.5", 1.5, 0}, {"p-5", 1, -5},     {"p+5", 1, 5},
                              {"p+12", 1, 12},  {"t0.5p+5", 0.5, 5}};

// The source as the engine reads it from a 16-bit file, interleaved.
std::vector<float> interleaved(const Audio& a) {
  std::vector<float> out(2 * a.frames());
  for (size_t i = 0; i < a.frames(); ++i) {
    out[2 * i] = std::round(a.left[i] * 32767.0f) / 32768.0f;
    out[2 * i + 1] = std::round(a.right[i] * 32767.0f) / 32768.0f;
  }
  return out;
}

// Feeds in blocks of 1024 frames, collects everything (flushed at the end).
template <class Put, class Take>
Audio run(const std::vector<float>& in, Put put, Take take) {
  Audio a;
  std::vector<float> buf(2 * 4096);
  const auto drain = [&] {
    for (int n; (n = take(buf.data(), 4096)) > 0;) {
      for (int i = 0; i < n; ++i) {
        a.left.push_back(buf[2 * static_cast<size_t>(i)]);
        a.right.push_back(buf[2 * static_cast<size_t>(i) + 1]);
      }
    }
  };
  const size_t frames = in.size() / 2;
  for (size_t i = 0; i < frames; i += 1024) {
    put(in.data() + 2 * i, static_cast<int>(std::min<size_t>(1024, frames - i)), false);
    drain();
  }
  put(nullptr, 0, true);
  drain();
  return a;
}

Audio soundTouch(const std::vector<float>& in, const CaseDef& c, int seq, int seek, int overlap) {
  soundtouch::SoundTouch st;
  st.setChannels(2);
  st.setSampleRate(kRate);
  st.setTempo(c.tempo);
  st.setPitchSemiTones(c.semitones);
  st.setSetting(SETTING_SEQUENCE_MS, seq);
  st.setSetting(SETTING_SEEKWINDOW_MS, seek);
  st.setSetting(SETTING_OVERLAP_MS, overlap);
  return run(
      in,
      [&](const float* p, int n, bool end) {
        if (end) {
          st.flush();
        } else {
          st.putSamples(p, static_cast<unsigned>(n));
        }
      },
      [&](float* out, int n) {
        return static_cast<int>(st.receiveSamples(out, static_cast<unsigned>(n)));
      });
}

Audio engineFast(const std::vector<float>& in, const CaseDef& c) {
  std::unique_ptr<lentaro::audio::Stretcher> s = lentaro::audio::makeSoundTouchStretcher(kRate, 2);
  s->restart(c.tempo, c.semitones, 0);
  return run(
      in,
      [&](const float* p, int n, bool end) {
        if (end) {
          s->flush();
        } else {
          s->put(p, n);
        }
      },
      [&](float* out, int n) { return s->receive(out, std::min(n, s->available())); });
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> settings, only;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--cases" && i + 1 < argc) {
      std::stringstream ids(argv[++i]);
      for (std::string id; std::getline(ids, id, ',');) only.push_back(id);
    } else if (a == "--help" || a == "-h") {
      std::printf("soundtouch_settings [--cases ids] [SEQ,SEEK,OVERLAP | fast ...]\n");
      return 0;
    } else {
      settings.push_back(a);
    }
  }
  if (settings.empty()) settings = {"0,0,8", "40,15,8", "fast"};

  const Audio source = renderScore({1, 0, Decay::Stretched});
  const std::vector<float> in = interleaved(source);
  std::vector<CaseDef> cases;
  std::vector<Reference> refs;
  for (const CaseDef& c : kCases) {
    bool wanted = only.empty();
    for (const std::string& id : only) wanted = wanted || id == c.id;
    if (!wanted) continue;
    const Transform t{c.tempo, c.semitones, Decay::Stretched};
    cases.push_back(c);
    refs.emplace_back(renderScore(t), sharpOnsets(t));
  }
  std::printf("log-mel distance dB / onset SD ms, per case; then the means\n%-10s", "setting");
  for (const CaseDef& c : cases) std::printf(" %13s", c.id);
  std::printf("\n");
  for (const std::string& s : settings) {
    int seq = 0, seek = 0, overlap = 0;
    const bool fast = s == "fast";
    if (!fast && std::sscanf(s.c_str(), "%d,%d,%d", &seq, &seek, &overlap) != 3) {
      std::fprintf(stderr, "not a setting: %s\n", s.c_str());
      return 2;
    }
    double mel = 0, sd = 0;
    std::printf("%-10s", s.c_str());
    for (size_t k = 0; k < cases.size(); ++k) {
      const Audio out =
          fast ? engineFast(in, cases[k]) : soundTouch(in, cases[k], seq, seek, overlap);
      const Verdict v = refs[k].compare(out);
      std::printf("   %5.2f/%5.2f", v.melDb, v.onsetSdMs);
      std::fflush(stdout);
      mel += v.melDb;
      sd += v.onsetSdMs;
    }
    const auto n = static_cast<double>(cases.size());
    std::printf("   mean %.3f dB %.2f ms\n", mel / n, sd / n);
  }
  return 0;
}
