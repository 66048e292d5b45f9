// The sound quality the user chose (Playback > Sound quality): the
// stretcher that changes tempo and pitch, for playing, Play and Record and
// export alike. "High" is Rubber Band's (the best sound, about a tenth of
// a core while stretching), "Fast" SoundTouch's (for weak machines).
//
// Stored in the settings as "Playback/soundQuality", "High" or "Fast";
// anything else reads as "High". It is applied as the engine's default
// stretcher, which every channel follows at once: what plays is spliced
// into the new stretcher's sound, without a gap.
//
// Thread: user-interface thread.
#pragma once

#include <QString>
#include <functional>

namespace lentaro {

class ActionTable;

enum class SoundQuality { High, Fast };

class SoundQualitySetting {
 public:
  static constexpr const char* kSettingsKey = "Playback/soundQuality";

  static SoundQuality stored();
  // Stores the choice and applies it.
  static void choose(SoundQuality quality);
  // Applies the stored choice to the engine (at start).
  static void applyStored();
  static QString name(SoundQuality quality);

  // The two entries of the submenu, checkable, one of them checked, in
  // `menu`; `told` is called with the entry's name after a choice.
  static void addCommands(ActionTable& table, const QString& menu,
                          const std::function<void(const QString&)>& told);
};

}  // namespace lentaro
