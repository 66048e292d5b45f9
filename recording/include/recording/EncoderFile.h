// Where the encoder program is written before it is started: the file
// "lame" in a folder of this process inside the temporary folder.
//
// The folder is made with mkdtemp (an unpredictable name, owner-only
// rights) and checked again before every write, so no other local user can
// plant a program or a link where we start ours. Each write puts a fresh
// file in place (sMain::WriteExecutableFile), so a write while a recording's
// encoder still runs from the previous file works, and whatever stood at
// the path before is replaced, never run.
//
// Thread: one thread at a time. The window's instance is the user-interface
// thread's (remove() lets pending events run); an export's own instance
// lives on its worker thread, where it uses only path(), write() and
// discard(), which touch nothing but the file system.
#pragma once

#include <QByteArray>
#include <QString>

namespace lentaro::recording {

class EncoderFile {
 public:
  // tempRoot: the temporary folder to make our folder in.
  explicit EncoderFile(QString tempRoot);
  EncoderFile();   // QDir::tempPath()
  ~EncoderFile();  // removes the file and our folder, quietly
  EncoderFile(const EncoderFile&) = delete;
  EncoderFile& operator=(const EncoderFile&) = delete;

  // The program's path. Makes our folder when there is none yet or the one
  // we had is gone or no longer ours. Throws lentaro::Failure when no
  // folder can be made.
  QString path();

  // Puts the program in place, executable by its owner only. Throws
  // lentaro::Failure with the platform's description.
  void write(const QByteArray& program);

  // sMain::DeleteFileQuietly on the program (pending events run first).
  // The folder stays for the next press.
  void remove();

  // Removes the program and our folder now, quietly; the next path() makes
  // a new folder. For the end of the program, once the engine has finished
  // every encoder: the process may then end without running destructors.
  void discard();

  // The folder in use, or empty before the first path().
  const QString& folder() const { return folder_; }

  static constexpr const char* kProgramName = "lame";

 private:
  bool folderStillOurs() const;

  QString tempRoot_;
  QString folder_;
};

}  // namespace lentaro::recording
