#include "playback/PracticeMemory.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

namespace lentaro::playback {

namespace {
constexpr qint64 kEdgeBytes = 64 * 1024;
// Entries say which layout they use; a newer one is left alone rather than
// misread.
constexpr int kFormat = 1;

QJsonObject trainerToJson(const TrainerSettings& t) {
  return {{"enabled", t.enabled},
          {"startTempo", t.startTempo},
          {"step", t.step},
          {"passesPerStep", t.passesPerStep},
          {"targetTempo", t.targetTempo}};
}

TrainerSettings trainerFromJson(const QJsonObject& o) {
  TrainerSettings t;
  t.enabled = o.value("enabled").toBool(t.enabled);
  t.startTempo = o.value("startTempo").toInt(t.startTempo);
  t.step = o.value("step").toInt(t.step);
  t.passesPerStep = o.value("passesPerStep").toInt(t.passesPerStep);
  t.targetTempo = o.value("targetTempo").toInt(t.targetTempo);
  return t;
}

QJsonObject countInToJson(const CountInSettings& c) {
  return {{"enabled", c.enabled},
          {"clicks", c.clicks},
          {"beatsPerLoop", c.beatsPerLoop},
          {"bpm", c.bpm},
          {"intoRecording", c.intoRecording}};
}

CountInSettings countInFromJson(const QJsonObject& o) {
  CountInSettings c;
  c.enabled = o.value("enabled").toBool(c.enabled);
  c.clicks = o.value("clicks").toInt(c.clicks);
  c.beatsPerLoop = o.value("beatsPerLoop").toInt(c.beatsPerLoop);
  c.bpm = o.value("bpm").toDouble(c.bpm);
  c.intoRecording = o.value("intoRecording").toBool(c.intoRecording);
  return c;
}
}  // namespace

bool PracticeData::empty() const {
  return *this == PracticeData{};
}

QJsonObject PracticeData::toJson() const {
  QJsonObject o{{"format", kFormat}};
  if (loop) o.insert("loop", QJsonArray{loop->first, loop->second});
  QJsonArray list;
  for (const auto& m : markers) list.append(QJsonObject{{"name", m.name}, {"seconds", m.seconds}});
  if (!list.isEmpty()) o.insert("markers", list);
  o.insert("trainer", trainerToJson(trainer));
  o.insert("countIn", countInToJson(countIn));
  if (tempo) o.insert("tempo", *tempo);
  if (pitch) o.insert("pitch", *pitch);
  return o;
}

PracticeData PracticeData::fromJson(const QJsonObject& o) {
  PracticeData d;
  const QJsonArray loop = o.value("loop").toArray();
  if (loop.size() == 2) {
    const double a = loop[0].toDouble(-1), b = loop[1].toDouble(-1);
    if (a >= 0 && b > a) d.loop = std::make_pair(a, b);
  }
  for (const auto& v : o.value("markers").toArray()) {
    const QJsonObject m = v.toObject();
    const double s = m.value("seconds").toDouble(-1);
    if (s >= 0) d.markers.push_back({m.value("name").toString(), s});
  }
  d.trainer = trainerFromJson(o.value("trainer").toObject());
  d.countIn = countInFromJson(o.value("countIn").toObject());
  if (o.contains("tempo")) d.tempo = o.value("tempo").toInt();
  if (o.contains("pitch")) d.pitch = o.value("pitch").toInt();
  return d;
}

QString PracticeMemory::keyOf(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  const qint64 size = file.size();
  QCryptographicHash hash(QCryptographicHash::Sha256);
  hash.addData(file.read(kEdgeBytes));
  if (size > kEdgeBytes) {
    // The tail, even where it overlaps the head: the key then still
    // covers every byte of a small file.
    if (!file.seek(std::max<qint64>(0, size - kEdgeBytes))) return {};
    hash.addData(file.read(kEdgeBytes));
  }
  return QString::number(size) + QLatin1Char('-') +
         QString::fromLatin1(hash.result().toHex().left(32));
}

QString PracticeMemory::pathOf(const QString& key) const {
  return folder_ + QLatin1Char('/') + key + QStringLiteral(".json");
}

std::optional<PracticeData> PracticeMemory::load(const QString& key) const {
  if (key.isEmpty()) return std::nullopt;
  QFile file(pathOf(key));
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
  if (!doc.isObject() || doc.object().value("format").toInt() != kFormat) return std::nullopt;
  return PracticeData::fromJson(doc.object());
}

bool PracticeMemory::save(const QString& key, const PracticeData& data) const {
  if (key.isEmpty()) return false;
  if (data.empty()) {
    QFile::remove(pathOf(key));
    return true;
  }
  if (!QDir().mkpath(folder_)) return false;
  QSaveFile file(pathOf(key));
  if (!file.open(QIODevice::WriteOnly)) return false;
  file.write(QJsonDocument(data.toJson()).toJson(QJsonDocument::Compact));
  return file.commit();
}

}  // namespace lentaro::playback
