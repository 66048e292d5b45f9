// The stretchers the quality benchmark compares, each turning the source
// WAV into a render of one case: the engine (offline, through its C
// interface), Rubber Band's and SoundTouch's command-line tools, and a naive
// overlap-add as the floor any real stretcher must clear.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "score.h"

namespace lentaro::quality {

struct Case {
  std::string name;
  double tempo = 1;      // speed factor
  double semitones = 0;  // transposition
};

// libsndfile. write: 16-bit PCM (what every tool reads) or 32-bit float.
bool writeWav(const std::filesystem::path& path, const Audio& a, bool float32);
// Any format libsndfile reads, at kRate, mono or stereo; nullopt (and a
// message on stderr) otherwise.
std::optional<Audio> readWav(const std::filesystem::path& path);

// The engine with a manual output. engineOpen once before rendering,
// engineClose at the end.
bool engineOpen();
void engineClose();
// Whether the engine lets a channel choose its stretcher.
bool engineHasStretcherModes();
// mode: -1 leaves the engine's default stretcher; 0 Fast, 1 High where the
// engine lets a channel choose. input: WAV or MP3.
std::optional<Audio> renderEngine(const std::filesystem::path& input, const Case& c, int mode);

// External programs; output: where the tool writes its WAV.
std::optional<Audio> renderRubberBand(const std::filesystem::path& input,
                                      const std::filesystem::path& output, const Case& c);
std::optional<Audio> renderSoundStretch(const std::filesystem::path& input,
                                        const std::filesystem::path& output, const Case& c,
                                        bool speech);

// Fixed-hop overlap-add (2048-point Hann, synthesis hop 512, no waveform
// search), transposing by resampling afterwards.
Audio renderNaiveOla(const Audio& source, const Case& c);

// Runs a program (no shell) with its output discarded; true when it exits 0.
bool runQuiet(const std::vector<std::string>& argv);

}  // namespace lentaro::quality
