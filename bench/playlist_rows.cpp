// 100,000 rows in the playlist: the time to add them one by one (as the
// adding commands do), the first layout after it, and the time of one
// painted frame while scrolling through the whole list.
#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "playlist/PlaylistView.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  lentaro::playlist::PlaylistView view;
  view.resize(456, 169);
  view.AddColumnHeader("MP3 File(s)");
  view.SetColumnWidth(6500);
  view.show();
  QCoreApplication::processEvents();

  constexpr int kRows = 100000;
  QElapsedTimer t;
  t.start();
  for (int i = 0; i < kRows; ++i)
    view.Add(QString("/home/user/Music/Album %1/%2 - A rather long song title.mp3")
                 .arg(i / 12)
                 .arg(i % 12 + 1));
  const double add = t.nsecsElapsed() / 1e6;
  t.restart();
  QCoreApplication::processEvents();
  view.viewport()->repaint();
  const double layout = t.nsecsElapsed() / 1e6;

  QScrollBar* bar = view.verticalScrollBar();
  std::vector<double> frames;
  const int step = std::max(1, bar->pageStep());
  for (int v = 0; v <= bar->maximum(); v += step * 5) {
    t.restart();
    bar->setValue(v);
    QCoreApplication::processEvents();
    view.viewport()->repaint();
    frames.push_back(t.nsecsElapsed() / 1e6);
  }
  std::sort(frames.begin(), frames.end());
  double sum = 0;
  for (double f : frames) sum += f;
  std::printf("add %d rows:      %.1f ms (%.2f us/row)\n", kRows, add, add * 1000 / kRows);
  std::printf("first layout+paint: %.1f ms\n", layout);
  std::printf("scroll frames:      %zu, mean %.3f ms, median %.3f ms, max %.3f ms\n", frames.size(),
              sum / frames.size(), frames[frames.size() / 2], frames.back());
  return 0;
}
