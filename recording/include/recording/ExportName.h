// The names an export is given and the kinds of file it writes: the name
// the save dialog proposes, "<name>_<tempo>_<pitch>.mp3" in the output
// folder, and the format a chosen name asks for by its extension.
//
// Pure functions; any thread.
#pragma once

#include <QString>
#include <optional>

namespace lentaro::recording {

enum class ExportFormat { Mp3, Wav, Flac };

// outputFolder, a "/" unless it already ends in one, the source's name
// without its last extension (the whole name when it has none), the tempo
// and the pitch as the sliders show them, and ".mp3": "song_-50_5.mp3".
QString ExportProposedPath(const QString& outputFolder, const QString& sourcePath, int tempo,
                           int pitch);

// The format a path's extension names (".mp3", ".wav", ".flac", in any
// case); nothing for another extension or none.
std::optional<ExportFormat> ExportFormatOf(const QString& path);

// True when the file name (after the last "/") has no extension at all.
bool ExportNameLacksExtension(const QString& path);

// The save dialog's filter: the three formats, MP3 first.
QString ExportDialogFilter();

}  // namespace lentaro::recording
