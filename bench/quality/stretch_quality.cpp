// How good the engine's tempo and pitch changes sound, measured against an
// ideal, beside Rubber Band (R3), SoundTouch's soundstretch and a naive
// overlap-add. Run by hand (bench/quality/run builds and runs it):
//   stretch_quality [--cases ids] [--methods names] [--decay stretched|natural]
//                   [--engine-input wav|mp3] [--work dir] [--selfcheck]
// Everything it plays and renders stays in the work folder to listen to.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "metrics.h"
#include "renderers.h"
#include "score.h"

namespace {

namespace fs = std::filesystem;
using namespace lentaro::quality;
using Clock = std::chrono::steady_clock;

struct CaseDef {
  const char* id;
  Case c;
};

const std::vector<CaseDef>& allCases() {
  static const std::vector<CaseDef> cases = {
      {"t0.5", {"tempo 0.50", 0.5, 0}},   {"t0.75", {"tempo 0.75", 0.75, 0}},
      {"t1.25", {"tempo 1.25", 1.25, 0}}, {"t1.5", {"tempo 1.50", 1.5, 0}},
      {"p-5", {"pitch -5", 1, -5}},       {"p+5", {"pitch +5", 1, 5}},
      {"p+12", {"pitch +12", 1, 12}},     {"t0.5p+5", {"tempo 0.50 +5", 0.5, 5}},
  };
  return cases;
}

struct Options {
  std::vector<std::string> cases, methods;
  Decay decay = Decay::Stretched;
  bool mp3 = false;
  bool selfcheckOnly = false;
  fs::path work;
};

std::vector<std::string> split(const std::string& s) {
  std::vector<std::string> out;
  std::stringstream in(s);
  for (std::string item; std::getline(in, item, ',');)
    if (!item.empty()) out.push_back(item);
  return out;
}

const char* kMethodHelp =
    "engine, engine-fast, engine-high (when the engine offers modes), rubberband, soundstretch,\n"
    "soundstretch-speech, ola";

void usage() {
  std::printf(
      "stretch_quality [options]\n"
      "  --cases IDS       comma-separated, default all: "
      "t0.5,t0.75,t1.25,t1.5,p-5,p+5,p+12,t0.5p+5\n"
      "  --methods NAMES   comma-separated, default all of: %s\n"
      "  --decay MODE      stretched (default): the ideal's decays follow the new time axis;\n"
      "                    natural: decay and release times stay in seconds\n"
      "  --engine-input F  wav (default) or mp3 (lame -b 320, to hear the codec's share)\n"
      "  --work DIR        where inputs and renders go (default $TMPDIR/lentaro-quality)\n"
      "  --selfcheck       only check the metric (ideal against itself); exit 1 if it fails\n",
      kMethodHelp);
}

std::optional<Options> parse(int argc, char** argv) {
  Options o;
  const char* tmp = std::getenv("TMPDIR");
  o.work = fs::path(tmp && *tmp ? tmp : "/tmp") / "lentaro-quality";
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= argc) return std::nullopt;
      return std::string(argv[++i]);
    };
    std::optional<std::string> v;
    if (a == "--selfcheck") {
      o.selfcheckOnly = true;
    } else if (a == "--help" || a == "-h") {
      usage();
      std::exit(0);
    } else if (a == "--cases" && (v = value())) {
      o.cases = split(*v);
    } else if (a == "--methods" && (v = value())) {
      o.methods = split(*v);
    } else if (a == "--decay" && (v = value()) && (*v == "stretched" || *v == "natural")) {
      o.decay = *v == "natural" ? Decay::Natural : Decay::Stretched;
    } else if (a == "--engine-input" && (v = value()) && (*v == "wav" || *v == "mp3")) {
      o.mp3 = *v == "mp3";
    } else if (a == "--work" && (v = value())) {
      o.work = *v;
    } else {
      std::fprintf(stderr, "bad argument: %s\n", a.c_str());
      usage();
      return std::nullopt;
    }
  }
  return o;
}

// The metric must read 0 for the ideal itself, also when it comes late.
bool selfcheck(const Audio& ideal, const Reference& ref, size_t scoreOnsets) {
  const Verdict same = ref.compare(ideal);
  Audio late;
  constexpr long kDelay = 1234;
  late.left.assign(kDelay, 0.0f);
  late.right.assign(kDelay, 0.0f);
  late.left.insert(late.left.end(), ideal.left.begin(), ideal.left.end());
  late.right.insert(late.right.end(), ideal.right.begin(), ideal.right.end());
  const Verdict delayed = ref.compare(late);
  std::printf("metric check: ideal vs itself %.3f dB, onset SD %.2f ms, %d/%d missed, lag %ld\n",
              same.melDb, same.onsetSdMs, same.missed, same.onsets, same.lag);
  std::printf("              delayed %ld frames: %.3f dB, onset SD %.2f ms, lag %ld\n", kDelay,
              delayed.melDb, delayed.onsetSdMs, delayed.lag);
  std::printf("              reference onsets: %d of the score's %zu sharp onsets\n", same.onsets,
              scoreOnsets);
  const bool ok = same.melDb == 0 && same.onsetSdMs == 0 && same.missed == 0 && same.lag == 0 &&
                  delayed.lag == kDelay && delayed.melDb < 1e-6 && delayed.onsetSdMs < 0.5 &&
                  delayed.missed == 0 && static_cast<size_t>(same.onsets) * 5 >= scoreOnsets * 4;
  if (!ok) std::printf("metric check FAILED\n");
  return ok;
}

struct Method {
  std::string name;    // as given to --methods
  std::string header;  // table column
  std::function<std::optional<Audio>(const Case&, const fs::path& out)> render;
  double seconds = 0;  // wall time of all its renders
};

std::string fixed(double v, int decimals) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Options> opt = parse(argc, argv);
  if (!opt) return 2;
  const Options& o = *opt;
  const auto begun = Clock::now();
  std::error_code ec;
  fs::create_directories(o.work, ec);
  if (ec) {
    std::fprintf(stderr, "cannot create %s\n", o.work.c_str());
    return 1;
  }

  // The source: the piece untransformed, 16-bit so every tool reads it.
  const Audio source = renderScore({1, 0, o.decay});
  const fs::path sourceWav = o.work / "source.wav";
  if (!writeWav(sourceWav, source, false)) return 1;
  const size_t scoreOnsets = sharpOnsets({}).size();
  {
    const Reference self(source, sharpOnsets({}));
    if (!selfcheck(source, self, scoreOnsets)) return 1;
  }
  if (o.selfcheckOnly) return 0;

  fs::path engineInput = sourceWav;
  if (o.mp3) {
    engineInput = o.work / "source.mp3";
    if (!runQuiet({"lame", "--quiet", "-b", "320", sourceWav.string(), engineInput.string()}))
      return 1;
  }

  std::vector<CaseDef> cases;
  for (const std::string& id : o.cases)
    if (std::none_of(allCases().begin(), allCases().end(),
                     [&](const CaseDef& d) { return id == d.id; })) {
      std::fprintf(stderr, "no case %s\n", id.c_str());
      return 2;
    }
  for (const CaseDef& d : allCases())
    if (o.cases.empty() || std::find(o.cases.begin(), o.cases.end(), d.id) != o.cases.end())
      cases.push_back(d);

  std::vector<Method> methods;
  const auto engine = [&](int mode) {
    return [&, mode](const Case& c, const fs::path& out) {
      std::optional<Audio> a = renderEngine(engineInput, c, mode);
      if (a) writeWav(out, *a, false);
      return a;
    };
  };
  methods.push_back({"engine", "engine", engine(-1)});
  if (engineHasStretcherModes()) {
    methods.push_back({"engine-fast", "eng-fast", engine(0)});
    methods.push_back({"engine-high", "eng-high", engine(1)});
  }
  methods.push_back({"rubberband", "rb-fine", [&](const Case& c, const fs::path& out) {
                       return renderRubberBand(sourceWav, out, c);
                     }});
  methods.push_back({"soundstretch", "st", [&](const Case& c, const fs::path& out) {
                       return renderSoundStretch(sourceWav, out, c, false);
                     }});
  methods.push_back({"soundstretch-speech", "st-speech", [&](const Case& c, const fs::path& out) {
                       return renderSoundStretch(sourceWav, out, c, true);
                     }});
  methods.push_back({"ola", "naive-ola", [&](const Case& c, const fs::path& out) {
                       std::optional<Audio> a = renderNaiveOla(source, c);
                       writeWav(out, *a, true);
                       return a;
                     }});
  if (!o.methods.empty()) {
    std::vector<Method> chosen;
    for (const std::string& name : o.methods) {
      const auto it = std::find_if(methods.begin(), methods.end(),
                                   [&](const Method& m) { return m.name == name; });
      if (it == methods.end()) {
        std::fprintf(stderr, "no method %s (have: %s)\n", name.c_str(), kMethodHelp);
        return 2;
      }
      chosen.push_back(*it);
    }
    methods = chosen;
  }

  const bool usesEngine = std::any_of(methods.begin(), methods.end(), [](const Method& m) {
    return m.name.rfind("engine", 0) == 0;
  });
  if (usesEngine && !engineOpen()) return 1;

  // results[case][method]
  std::vector<std::vector<std::optional<Verdict>>> results(
      cases.size(), std::vector<std::optional<Verdict>>(methods.size()));
  for (size_t ci = 0; ci < cases.size(); ++ci) {
    const Case& c = cases[ci].c;
    const Transform t{c.tempo, c.semitones, o.decay};
    const Audio ideal = renderScore(t);
    writeWav(o.work / ("ideal-" + std::string(cases[ci].id) + ".wav"), ideal, true);
    const Reference ref(ideal, sharpOnsets(t));
    for (size_t mi = 0; mi < methods.size(); ++mi) {
      Method& m = methods[mi];
      const fs::path out = o.work / (m.name + "-" + cases[ci].id + ".wav");
      const auto t0 = Clock::now();
      const std::optional<Audio> render = m.render(c, out);
      m.seconds += std::chrono::duration<double>(Clock::now() - t0).count();
      if (!render) continue;
      const Verdict v = ref.compare(*render);
      results[ci][mi] = v;
      std::fprintf(
          stderr, "%-14s %-20s %6.2f dB  onset SD %5.2f ms  missed %d/%d  extra %d  lag %ld\n",
          c.name.c_str(), m.name.c_str(), v.melDb, v.onsetSdMs, v.missed, v.onsets, v.extra, v.lag);
    }
  }
  if (usesEngine) engineClose();

  // ---- tables ----
  const auto table = [&](const char* title, int width,
                         const std::function<std::string(const Verdict&)>& cell,
                         const std::function<std::string(const std::vector<Verdict>&)>& mean) {
    std::printf("\n%s\n%-15s", title, "case");
    for (const Method& m : methods) std::printf("%*s", width, m.header.c_str());
    std::printf("\n");
    for (size_t ci = 0; ci < cases.size(); ++ci) {
      std::printf("%-15s", cases[ci].c.name.c_str());
      for (size_t mi = 0; mi < methods.size(); ++mi)
        std::printf("%*s", width, results[ci][mi] ? cell(*results[ci][mi]).c_str() : "failed");
      std::printf("\n");
    }
    std::printf("%-15s", "mean");
    for (size_t mi = 0; mi < methods.size(); ++mi) {
      std::vector<Verdict> col;
      for (size_t ci = 0; ci < cases.size(); ++ci)
        if (results[ci][mi]) col.push_back(*results[ci][mi]);
      std::printf("%*s", width, col.empty() ? "-" : mean(col).c_str());
    }
    std::printf("\n");
  };
  std::printf("\nideal: decays %s; engine input %s; renders in %s\n",
              o.decay == Decay::Natural ? "natural (seconds kept)" : "stretched with the time axis",
              o.mp3 ? "MP3 320 kbit/s" : "WAV", o.work.c_str());
  table(
      "log-mel distance to the ideal, dB (lower is better)", 11,
      [](const Verdict& v) { return fixed(v.melDb, 2); },
      [](const std::vector<Verdict>& col) {
        double s = 0;
        for (const Verdict& v : col) s += v.melDb;
        return fixed(s / static_cast<double>(col.size()), 2);
      });
  table(
      "onset timing SD, ms, and onsets missed (of the reference's)", 11,
      [](const Verdict& v) {
        return fixed(v.onsetSdMs, 2) + (v.missed ? " (" + std::to_string(v.missed) + ")" : "    ");
      },
      [](const std::vector<Verdict>& col) {
        double s = 0;
        int missed = 0;
        for (const Verdict& v : col) {
          s += v.onsetSdMs;
          missed += v.missed;
        }
        return fixed(s / static_cast<double>(col.size()), 2) +
               (missed ? " (" + std::to_string(missed) + ")" : "    ");
      });
  table(
      "extra onsets (render onsets no onset of the ideal takes: doubled or invented transients)",
      11, [](const Verdict& v) { return std::to_string(v.extra); },
      [](const std::vector<Verdict>& col) {
        double s = 0;
        for (const Verdict& v : col) s += v.extra;
        return fixed(s / static_cast<double>(col.size()), 1);
      });
  std::printf("\n%-15s", "render time, s");
  for (const Method& m : methods) std::printf("%11.1f", m.seconds);
  std::printf("\nreference onsets per case (the score has %zu):", scoreOnsets);
  for (const auto& row : results) {
    const auto any =
        std::find_if(row.begin(), row.end(), [](const auto& v) { return v.has_value(); });
    std::printf(" %d", any == row.end() ? 0 : (*any)->onsets);
  }
  std::printf("\ntotal run %.0f s\n", std::chrono::duration<double>(Clock::now() - begun).count());
  return 0;
}
