// The names a recording is given: the base name taken from the source's
// path, the output file in the output folder, and the encoder's argument
// list.
//
// Pure functions; any thread.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace lentaro::recording {

inline constexpr const char* kRecordedSuffix = "_recorded.mp3";

// The file name of sourcePath (its last "/"-piece, the whole text when it
// holds no "/") without its last extension: "my.song.mp3" gives "my.song",
// ".mp3" gives "". Nothing when the file name holds no "." at all: such a
// file is played but not recorded.
std::optional<QString> RecordingBaseName(const QString& sourcePath);

// outputFolder, a "/" unless it already ends in one, baseName and
// "_recorded.mp3". An empty folder gives a name in the root, as typed.
QString RecordingOutputFile(const QString& outputFolder, const QString& baseName);

// The encoder's argument vector: the program, "-" (the sound comes on the
// standard input) and the output file. A relative output file is made
// absolute against the current folder, so that a name beginning with "-"
// can never be read as an option.
QStringList EncoderArguments(const QString& program, const QString& outputFile);

}  // namespace lentaro::recording
