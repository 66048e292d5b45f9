// Wires the playlist subsystem into the main window: creates its objects
// (QObject children of the window) and connects the controls it serves.
#include <QPushButton>
#include <exception>

#include "AddDialogsHost.h"
#include "app/Form1.h"
#include "playlist/BusyState.h"
#include "playlist/PlaylistCommands.h"
#include "playlist/PlaylistView.h"
#include "shell/AppTitle.h"
#include "shell/CursorFile.h"

namespace lentaro {

namespace {

// The window's pointer setting as the playlist reads and raises it. Lives
// as long as the window (its QObject parent), like the commands using it.
class WindowBusyState : public QObject, public playlist::BusyState {
 public:
  WindowBusyState(MainPointer& pointer, QObject* parent) : QObject(parent), pointer_(pointer) {}
  int MousePointer() const override { return pointer_.MousePointer(); }
  void setMousePointer(int value) override { pointer_.setMousePointer(value); }

 private:
  MainPointer& pointer_;
};

}  // namespace

void Form1::wirePlaylist() {
  auto* busy = new WindowBusyState(pointer(), this);
  playlist::PlaylistServices s;
  addDialogs_ = std::make_unique<AddDialogsHost>(ui());
  s.ui = addDialogs_.get();
  s.busy = busy;
  s.owner = this;
  s.appDir = appDir();
  s.appTitle = [] { return AppTitle(); };
  s.loadCursor = [](const QString& path) -> std::optional<QCursor> {
    try {
      return loadCursorFile(path);
    } catch (const std::exception&) {
      return std::nullopt;
    }
  };
  playlistCommands_ = new playlist::PlaylistCommands(ListView1, std::move(s), this);
  playlistCommands_->connectList();

  using C = playlist::PlaylistCommands;
  connect(PushButton8, &QPushButton::clicked, playlistCommands_, &C::PushButton8_Click);
  connect(PushButton4, &QPushButton::clicked, playlistCommands_, &C::PushButton4_Click);
  connect(PushButton10, &QPushButton::clicked, playlistCommands_, &C::PushButton10_Click);
  connect(PushButton5, &QPushButton::clicked, playlistCommands_, &C::PushButton5_Click);
  connect(PushButton6, &QPushButton::clicked, playlistCommands_, &C::PushButton6_Click);
  connect(PushButton9, &QPushButton::clicked, playlistCommands_, &C::PushButton9_Click);
}

}  // namespace lentaro
