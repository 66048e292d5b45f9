// Private encoder folders left behind by earlier runs: a program that was
// killed, or ended while a recording's encoder still ran, leaves its
// "lentaro-XXXXXX" folder (and maybe its copy of the encoder) in the
// temporary folder. At start the program removes those of its own user
// that nothing uses any more.
//
// Thread: any; touches only the file system and /proc. The window runs it
// on a pool thread so the start never waits for the disk.
#pragma once

#include <QString>
#include <chrono>

namespace lentaro::recording {

// Removes every folder "lentaro-??????" directly in tempRoot that
// - belongs to this user and is private to it (mode 0700, not a link),
// - was last changed at least minAge ago (a folder another running copy of
//   the program has just made is left alone), and
// - is not the executable's folder or the working folder of any running
//   process (an encoder still running from it keeps it).
// Only the encoder file inside is removed with it; a folder holding
// anything else is kept. Returns the number of folders removed.
int removeStaleEncoderFolders(const QString& tempRoot,
                              std::chrono::seconds minAge = std::chrono::seconds(60));

}  // namespace lentaro::recording
