// Shared pieces of the playlist tests: a pointer setting to watch, file
// trees under a temporary folder, and commands wired to a scripted host.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

#include "ScriptedUiHost.h"
#include "playlist/BusyState.h"
#include "playlist/PlaylistCommands.h"
#include "playlist/PlaylistView.h"

namespace lentaro::playlist::testing {

class FakeBusy : public BusyState {
 public:
  int MousePointer() const override { return value; }
  void setMousePointer(int v) override {
    value = v;
    history.push_back(v);
  }
  int value = 0;
  std::vector<int> history;
};

// Creates folders and empty files below a temporary root. Paths are given
// relative to the root with "/".
class Tree {
 public:
  Tree() { root_ = dir_.path(); }
  const QString& root() const { return root_; }
  QString path(const QString& rel) const { return root_ + QLatin1Char('/') + rel; }
  void dir(const QString& rel) const { QDir().mkpath(path(rel)); }
  void file(const QString& rel) const {
    const QString p = path(rel);
    QDir().mkpath(p.section(QLatin1Char('/'), 0, -2));
    QFile f(p);
    f.open(QIODevice::WriteOnly);
  }
  void files(const QStringList& rels) const {
    for (const QString& r : rels) file(r);
  }
  QStringList paths(const QStringList& rels) const {
    QStringList out;
    for (const QString& r : rels) out << path(r);
    return out;
  }

 private:
  QTemporaryDir dir_;
  QString root_;
};

inline QStringList rows(const PlaylistView& v) {
  QStringList out;
  for (int i = 1; i <= v.Count(); ++i) out << v.Text(i);
  return out;
}

// One list with its commands, as the main window wires them.
struct Rig {
  explicit Rig(QString appDir = QString()) {
    view = std::make_unique<PlaylistView>();
    PlaylistServices s;
    s.ui = &ui;
    s.busy = &busy;
    s.appDir = std::move(appDir);
    s.appTitle = [] { return QStringLiteral("Lentaro"); };
    s.listingEventsEveryMs = 0;  // lets nested handlers run between any two folders
    s.screenPos = [this] { return screen; };
    s.loadCursor = [this](const QString& p) -> std::optional<QCursor> {
      cursorReads << p;
      return cursor;
    };
    commands = std::make_unique<PlaylistCommands>(view.get(), std::move(s));
    commands->connectList();
  }
  void add(const QStringList& texts) const {
    for (const QString& t : texts) view->Add(t);
  }

  lentaro::testing::ScriptedUiHost ui;
  FakeBusy busy;
  QPoint screen{0, 330};
  std::optional<QCursor> cursor;
  QStringList cursorReads;
  std::unique_ptr<PlaylistView> view;
  std::unique_ptr<PlaylistCommands> commands;
};

}  // namespace lentaro::playlist::testing
