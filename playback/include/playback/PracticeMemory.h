// What a musician sets up on one file — the loop, the markers, the speed
// trainer and count-in, optionally the tempo and pitch — remembered in the
// user's data folder and given back when the same file is opened again.
//
// A file is known by its size and a hash of its first and last 64 KB, so a
// file that was moved or renamed is still recognised, while a file whose
// sound changed (another encoding, an edit) is not mistaken for it.
//
// Thread: the functions here read and write files; the window calls them
// on a pool thread (PracticeMemoryLoader and save()) so it never waits for
// the disk. Values are plain data and may cross threads.
#pragma once

#include <QJsonObject>
#include <QString>
#include <QVector>
#include <optional>

namespace lentaro::playback {

struct PracticeMarker {
  QString name;
  double seconds = 0;
  bool operator==(const PracticeMarker&) const = default;
};

struct TrainerSettings {
  bool enabled = false;
  int startTempo = -30;  // percent, as the tempo slider
  int step = 5;          // percent added after each group of passes
  int passesPerStep = 2;
  int targetTempo = 0;
  bool operator==(const TrainerSettings&) const = default;
};

struct CountInSettings {
  bool enabled = false;
  int clicks = 4;
  // The beat: the loop's length divided by beatsPerLoop, or, when bpm > 0,
  // that many beats a minute at the unchanged tempo.
  int beatsPerLoop = 4;
  double bpm = 0;
  bool intoRecording = false;
  bool operator==(const CountInSettings&) const = default;
};

struct PracticeData {
  std::optional<std::pair<double, double>> loop;  // seconds of the file, start < end
  QVector<PracticeMarker> markers;
  TrainerSettings trainer;
  CountInSettings countIn;
  // Kept only while the user asks for tempo and pitch per file.
  std::optional<int> tempo;
  std::optional<int> pitch;

  bool empty() const;
  bool operator==(const PracticeData&) const = default;
  QJsonObject toJson() const;
  static PracticeData fromJson(const QJsonObject& json);
};

class PracticeMemory {
 public:
  // folder: where the entries live, e.g. AppDataLocation + "/practice".
  explicit PracticeMemory(QString folder) : folder_(std::move(folder)) {}

  // The file's identity ("<size>-<hash>"), or empty when it cannot be read.
  static QString keyOf(const QString& path);

  // The entry for a key; nothing when none was kept or it cannot be read.
  std::optional<PracticeData> load(const QString& key) const;
  // Stores the entry (an empty one removes it). Written to a new file that
  // replaces the old, so a crash never leaves half an entry. False when
  // the folder cannot take it.
  bool save(const QString& key, const PracticeData& data) const;

  const QString& folder() const { return folder_; }

 private:
  QString pathOf(const QString& key) const;
  QString folder_;
};

}  // namespace lentaro::playback
