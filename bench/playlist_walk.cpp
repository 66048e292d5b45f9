// "Add All MP3 File(s) In Folder" on a generated tree of 5,221 folders
// (20 x 20 x 12) holding 48,000 empty files, half of them ".mp3", against
// `find TREE -iname '*.mp3'` on the same tree in the same run. Also reports
// the longest gap between two passes of the event loop during the walk.
//
//   playlist_walk [existing-tree-folder]
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "ScriptedUiHost.h"
#include "playlist/BusyState.h"
#include "playlist/PlaylistCommands.h"
#include "playlist/PlaylistView.h"

namespace {

class Busy : public lentaro::playlist::BusyState {
 public:
  int MousePointer() const override { return v; }
  void setMousePointer(int value) override { v = value; }
  int v = 0;
};

void makeTree(const QString& root) {
  for (int a = 0; a < 20; ++a)
    for (int b = 0; b < 20; ++b)
      for (int c = 0; c < 12; ++c) {
        const QString leaf = QString("%1/a%2/b%3/c%4").arg(root).arg(a).arg(b).arg(c);
        QDir().mkpath(leaf);
        for (int f = 0; f < 10; ++f) {
          QFile file(QString("%1/track%2.%3").arg(leaf).arg(f).arg(f % 2 ? "txt" : "mp3"));
          file.open(QIODevice::WriteOnly);
        }
      }
}

double findSeconds(const QString& root) {
  QElapsedTimer t;
  t.start();
  QProcess p;
  p.setStandardOutputFile(QProcess::nullDevice());
  p.start("find", {root, "-iname", "*.mp3"});
  p.waitForFinished(-1);
  return t.nsecsElapsed() / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QTemporaryDir tmp;
  QString root = argc > 1 ? QString::fromLocal8Bit(argv[1]) : tmp.path() + "/tree";
  if (argc <= 1) {
    std::printf("making the tree in %s ...\n", qPrintable(root));
    makeTree(root);
  }
  findSeconds(root);  // warm the cache for both
  const double find = findSeconds(root);

  lentaro::testing::ScriptedUiHost ui;
  Busy busy;
  lentaro::playlist::PlaylistView view;
  view.resize(456, 169);
  view.show();
  lentaro::playlist::PlaylistServices s;
  s.ui = &ui;
  s.busy = &busy;
  lentaro::playlist::PlaylistCommands commands(&view, s);

  QElapsedTimer clock;
  qint64 last = -1, longest = 0;
  QTimer tick;
  tick.setInterval(0);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    if (last >= 0) longest = std::max(longest, now - last);
    last = now;
  });
  tick.start();
  ui.folderResults = {root};
  clock.start();
  last = 0;
  commands.PushButton4_Click();
  const double walk = clock.nsecsElapsed() / 1e9;
  longest = std::max(longest, clock.nsecsElapsed() - last);

  std::printf("rows added:        %d\n", view.Count());
  std::printf("find -iname:       %.3f s\n", find);
  std::printf("folder command:    %.3f s (%.1fx find)\n", walk, walk / find);
  std::printf("longest event gap: %.1f ms\n", longest / 1e6);
  return 0;
}
