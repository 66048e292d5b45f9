// The main window: the application's start-up object, its only working
// window and the owner of the playlist, the playback channel (through the
// playback subsystem) and the output folder text.
//
// The controls are public members named as in the window's control table,
// so the subsystems' wiring (wirePlaylist, wirePlayback, wireRecording, one
// file each) and the tests reach them directly. The subsystem objects are
// QObject children of the window, created by those wiring functions.
//
// The program shows the window through an outer window (frame()): a menu
// bar above this controls' area and a one-line status bar below it. The
// menus and the keys are the commands of actions(), which run the same
// handlers as the controls (player()).
//
// Start-up: Form_Initialize checks the engine's versions, asks for the
// window's handle (which builds the controls, wires the subsystems and runs
// Form_Load) and opens the audio output with it. The caller shows the window
// only when Form_Initialize returns true.
//
// Thread: user-interface thread only.
#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <memory>

#include "app/StartupServices.h"
#include "shell/MainPointer.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QMainWindow;
class QPushButton;
class QSlider;
class QTimer;

namespace lentaro {

class UiHost;
class HoverRules;
class SkinFramework;
class ActionTable;
class AddDialogsHost;
class PlayerControl;
class ShortcutsDialog;
class PracticeController;

namespace playlist {
class PlaylistView;
class PlaylistCommands;
}  // namespace playlist
namespace playback {
class Playback;
class WaveformView;
class WaveformPeaksSource;
}  // namespace playback
namespace recording {
class PlayAndRecord;
class OutputFolder;
class Exporter;
}  // namespace recording

class Form1 : public QWidget {
  Q_OBJECT

 public:
  explicit Form1(StartupServices services, QWidget* parent = nullptr);
  ~Form1() override;

  // ---- Start-up and shutdown ----
  // Returns true when the window may be shown; false when the process was
  // ended (a wrong engine version, no output device).
  bool Form_Initialize();
  void Form_Load();
  // The window's handle as the engine keeps it. The first call builds the
  // window and runs Form_Load to its end.
  void* hWnd();
  // Shows the window centred on its screen, the playlist holding the focus.
  void showCentred();
  void Form_QueryUnload();
  void Form_Unload();

  // The output folder text changed: stores it under "Path".
  void Text1_Change();

  // ---- The outer window and its commands (made with the controls) ----
  // The window the program shows; this is its central widget.
  QMainWindow* frame() const { return frame_.get(); }
  ActionTable* actions() const { return actions_; }
  PlayerControl* player() const { return player_; }
  // Opens the keyboard shortcuts dialog, or raises the one already open.
  ShortcutsDialog* showShortcutsDialog();
  // "About Lentaro": the version, the licence and the libraries used.
  void showAbout();
  static QString aboutText();

  // ---- Services for the subsystems ----
  UiHost& ui() { return *services_.ui; }
  MainPointer& pointer() { return pointer_; }
  const MainPointer& pointer() const { return pointer_; }
  // The application folder, without a trailing "/".
  const QString& appDir() const { return appDir_; }
  const SkinFramework& skin() const { return *skin_; }
  bool loaded() const { return loaded_; }

  // ---- Controls ----
  playlist::PlaylistView* ListView1 = nullptr;
  QPushButton* PushButton1 = nullptr;   // "Play"
  QPushButton* PushButton3 = nullptr;   // "..." (output folder)
  QPushButton* PushButton4 = nullptr;   // "Add All MP3 File(s) In Folder"
  QPushButton* PushButton5 = nullptr;   // "Move Up"
  QPushButton* PushButton6 = nullptr;   // "Move Down"
  QPushButton* PushButton7 = nullptr;   // "Play and Record"
  QPushButton* PushButton8 = nullptr;   // "Add MP3 File(s)"
  QPushButton* PushButton9 = nullptr;   // "Clear List"
  QPushButton* PushButton10 = nullptr;  // "Load Sample/Example Files"
  QGroupBox* Frame1 = nullptr;          // "Pitch"
  QGroupBox* Frame2 = nullptr;          // "Position"
  QGroupBox* Frame3 = nullptr;          // "Tempo"
  QGroupBox* Frame4 = nullptr;          // "Volume"
  QGroupBox* Frame5 = nullptr;          // "Save Recorded MP3 To This Folder"
  std::array<QSlider*, 2> sldTempo{};   // [0] tempo, [1] pitch
  QSlider* sldVolume = nullptr;
  QSlider* Slider1 = nullptr;  // position
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;  // "Total Time:"
  QLabel* Label3 = nullptr;  // "Time:"
  QLabel* Label4 = nullptr;
  QLabel* Label5 = nullptr;
  QLabel* Label6 = nullptr;
  QLabel* Label7 = nullptr;
  QLabel* Label8 = nullptr;
  QLabel* Label9 = nullptr;
  QLabel* Label10 = nullptr;
  QLabel* Label11 = nullptr;
  QLineEdit* Text1 = nullptr;  // the output folder
  QTimer* Timer2 = nullptr;    // 100 ms, running from the start

  // Statement 132 of Form_Load, set by the playback wiring: makes the next
  // "Play" open the selected file afresh. Empty until then.
  std::function<void()> setPlayRestart;

  // ---- Subsystems (set by the wiring functions) ----
  playlist::PlaylistCommands* playlistCommands_ = nullptr;
  playback::Playback* playback_ = nullptr;
  recording::PlayAndRecord* playAndRecord_ = nullptr;
  recording::OutputFolder* outputFolder_ = nullptr;
  // File > Export... and the playlist's context menu (Form1Export), with
  // its progress on the status bar.
  recording::Exporter* exporter_ = nullptr;
  QWidget* exportStatus_ = nullptr;
  // The overview drawn behind Slider1 in Frame2 (Form1Waveform), and its
  // peaks, computed when a file is opened.
  playback::WaveformView* waveform_ = nullptr;
  playback::WaveformPeaksSource* waveformPeaks_ = nullptr;
  // Practice loops, markers, the trainer and the count-in (Form1Practice).
  PracticeController* practice_ = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void buildWindow();
  void buildControls();
  void buildFrames();
  void setTabOrder();
  void nameForScreenReaders();
  void watchPointerRules();

  // One per subsystem, each in its own file.
  void wirePlaylist();
  void wirePlayback();
  void wireRecording();
  // Starts removing the encoder folders earlier runs left (Form1Recording).
  void removeStaleEncoderFolders();
  // The outer window, the menus, the keys and the status bar (Form1Menus).
  void buildFrame();
  // What the window needs only once it is up: the commands and the
  // clean-up of encoder folders (below). Made with the window, or after its
  // first paint when the start-up services ask for that. Runs once.
  void finishStartup();
  // The commands with their menu entries and keys, and the practice,
  // export and waveform wiring.
  void buildCommands();
  void addCommands();
  // Export: its command (before Quit), the playlist's context menu and the
  // status bar's progress (Form1Export).
  void wireExport();
  // Made once the status bar has its height.
  void showExportProgress();
  // The progress widgets of an export, made at the first call.
  QWidget* exportProgressWidget();
  // The waveform overview, fed from the channel the window opens and its
  // position (Form1Waveform).
  void wireWaveform();
  void followWaveform();
  // Practice: its Playback commands (before the keys are loaded), then
  // the status field and the drawing once the status bar exists.
  void addPracticeCommands();
  void wirePractice();
  void showStatus(const QString& text);
  void refreshStatusLine();

  StartupServices services_;
  // The playlist's view of the dialogs seam (adding opens where it last did).
  std::unique_ptr<AddDialogsHost> addDialogs_;
  std::unique_ptr<QMainWindow> frame_;
  ActionTable* actions_ = nullptr;
  PlayerControl* player_ = nullptr;
  ShortcutsDialog* shortcutsDialog_ = nullptr;
  QLabel* statusLine_ = nullptr;
  QString appDir_;
  MainPointer pointer_;
  std::unique_ptr<SkinFramework> skin_;
  HoverRules* hoverRules_ = nullptr;
  QWidget* firstFocus_ = nullptr;  // first in the tab order
  bool built_ = false;
  bool loaded_ = false;
  bool unloading_ = false;
  bool finished_ = false;  // finishStartup has run
};

}  // namespace lentaro
