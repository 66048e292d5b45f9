// "Add All MP3 File(s) In Folder" pressed in the real main window, on a
// generated tree of 100,000 empty files in 5,000 leaf folders (10 x 20 x 25,
// 20 files each, 5,211 folders in all); half the files are MP3 (".mp3" and
// ".MP3"), the rest ".txt". Measured against `find TREE -iname '*.mp3'` on
// the same tree in the same run, the cache warmed for both.
//
// The window is the program's own (Form1 with its skin and pointers, shown
// on the offscreen platform); its engine is opened without any output
// (device 0, manual output), its folder dialog answers from a script and
// its settings go to a temporary folder. Each run clears the list, then
// times find, the button in the window, and the command alone on a bare
// list (the older, command-level figure). Reports each run and the median,
// minimum and maximum of each figure over the runs, the ratio of the
// medians, and the longest gap between two passes of the event loop while
// the window's command runs (a 0-interval timer stamping times).
//
//   playlist_walk [--runs N] [existing-tree-folder]
#include <lentaro/bass.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "ScriptedUiHost.h"
#include "app/Form1.h"
#include "playlist/BusyState.h"
#include "playlist/PlaylistCommands.h"
#include "playlist/PlaylistView.h"

namespace {

constexpr int kExpectedRows = 50000;

class Busy : public lentaro::playlist::BusyState {
 public:
  int MousePointer() const override { return v; }
  void setMousePointer(int value) override { v = value; }
  int v = 0;
};

void makeTree(const QString& root) {
  for (int a = 0; a < 10; ++a)
    for (int b = 0; b < 20; ++b)
      for (int c = 0; c < 25; ++c) {
        const QString leaf = QString("%1/a%2/b%3/c%4").arg(root).arg(a).arg(b).arg(c);
        QDir().mkpath(leaf);
        for (int f = 0; f < 20; ++f) {
          const char* ext = f % 2 ? "txt" : (f % 4 ? "mp3" : "MP3");
          QFile file(QString("%1/track%2.%3").arg(leaf).arg(f).arg(ext));
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
  return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

// The longest time between two passes of the event loop while `body` runs,
// counting from its start and up to its end.
class GapWatch {
 public:
  GapWatch() {
    tick_.setInterval(0);
    QObject::connect(&tick_, &QTimer::timeout, [this] {
      const qint64 now = clock_.nsecsElapsed();
      longest_ = std::max(longest_, now - last_);
      last_ = now;
    });
  }
  // Seconds `body` took; longestMs() then holds its longest gap.
  template <class Body>
  double time(Body body) {
    tick_.start();
    longest_ = 0;
    clock_.start();
    last_ = 0;
    body();
    const qint64 end = clock_.nsecsElapsed();
    longest_ = std::max(longest_, end - last_);
    tick_.stop();
    return static_cast<double>(end) / 1e9;
  }
  double longestMs() const { return static_cast<double>(longest_) / 1e6; }

 private:
  QTimer tick_;
  QElapsedTimer clock_;
  qint64 last_ = 0;
  qint64 longest_ = 0;
};

struct Spread {
  double median, min, max;
};

Spread spread(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  const double median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
  return {median, v.front(), v.back()};
}

void settle() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  int runs = 5;
  QString root;
  const QStringList args = QCoreApplication::arguments();
  for (qsizetype i = 1; i < args.size(); ++i) {
    if (args[i] == "--runs" && i + 1 < args.size())
      runs = std::max(1, args[++i].toInt());
    else
      root = args[i];
  }
  QTemporaryDir tmp;
  if (root.isEmpty()) {
    root = tmp.path() + "/tree";
    std::printf("making the tree in %s ...\n", qPrintable(root));
    std::fflush(stdout);
    makeTree(root);
  }

  // The window, with nothing of it reaching the user's settings or sound.
  QStandardPaths::setTestModeEnabled(true);
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, tmp.path());
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, tmp.path());
  lentaro::testing::ScriptedUiHost ui;
  lentaro::StartupServices services;
  services.ui = &ui;
  services.audio.init = [](int, DWORD freq, DWORD flags, void* win, void* guid) -> BOOL {
    return BASS_Init(0, freq, flags | BASS_DEVICE_MANUAL, win, guid);
  };
  services.endProcess = [](int status) { std::printf("the window ended with %d\n", status); };
  services.randomUnit = [] { return 0.5; };  // never the home page
  services.appDir = QStringLiteral(LENTARO_APP_DIR);
  lentaro::Form1 form(services);
  if (!form.Form_Initialize()) return 1;
  form.showCentred();
  settle();

  // The bare list of the command-level figure.
  Busy busy;
  lentaro::playlist::PlaylistView bare;
  bare.resize(456, 169);
  bare.show();
  lentaro::playlist::PlaylistServices s;
  s.ui = &ui;
  s.busy = &busy;
  lentaro::playlist::PlaylistCommands commands(&bare, s);

  findSeconds(root);  // warm the cache for both
  std::vector<double> finds, windows, alone, gaps;
  GapWatch watch;
  for (int r = 0; r < runs; ++r) {
    form.PushButton9->click();  // Clear List
    bare.Clear();
    settle();

    finds.push_back(findSeconds(root));

    ui.folderResults = {root};
    windows.push_back(watch.time([&] { form.PushButton4->click(); }));
    gaps.push_back(watch.longestMs());
    const int windowRows = form.ListView1->Count();
    settle();

    ui.folderResults = {root};
    alone.push_back(watch.time([&] { commands.PushButton4_Click(); }));
    settle();

    std::printf("run %d: find %.3f s, window %.3f s (%.1fx, longest gap %.1f ms), alone %.3f s\n",
                r + 1, finds.back(), windows.back(), windows.back() / finds.back(), gaps.back(),
                alone.back());
    if (windowRows != kExpectedRows || bare.Count() != kExpectedRows)
      std::printf("  rows: window %d, alone %d (a generated tree gives %d)\n", windowRows,
                  bare.Count(), kExpectedRows);
  }
  if (!ui.messages.empty()) std::printf("messages shown: %zu\n", ui.messages.size());

  // Each run's own ratio as well: find and the command run back to back, so
  // a load that comes and goes shifts both.
  std::vector<double> ratios;
  for (std::size_t i = 0; i < finds.size(); ++i) ratios.push_back(windows[i] / finds[i]);
  const Spread f = spread(finds), w = spread(windows), a = spread(alone), g = spread(gaps),
               q = spread(ratios);
  std::printf("over %d runs (median, min-max):\n", runs);
  std::printf("  find -iname:        %.3f s (%.3f-%.3f)\n", f.median, f.min, f.max);
  std::printf("  window command:     %.3f s (%.3f-%.3f): %.2fx find (goal <= 5x)\n", w.median,
              w.min, w.max, w.median / f.median);
  std::printf("  per-run ratio:      %.2fx (%.2f-%.2f)\n", q.median, q.min, q.max);
  std::printf("  command alone:      %.3f s (%.3f-%.3f): %.2fx find\n", a.median, a.min, a.max,
              a.median / f.median);
  std::printf("  longest event gap:  %.1f ms (%.1f-%.1f) in the window (goal <= 50 ms)\n", g.median,
              g.min, g.max);
  bare.Clear();
  BASS_Free();
  return 0;
}
