#include "FontWarmup.h"

#include <fontconfig/fontconfig.h>

namespace lentaro {

FontWarmup::FontWarmup() {
  worker_ = std::thread([] {
    // FcInit loads the configuration and the caches; listing the families
    // touches every cache file the window's font match will read.
    if (!FcInit()) return;
    FcPattern* all = FcPatternCreate();
    FcObjectSet* family = FcObjectSetBuild(FC_FAMILY, nullptr);
    if (all && family) {
      if (FcFontSet* fonts = FcFontList(nullptr, all, family)) FcFontSetDestroy(fonts);
    }
    if (family) FcObjectSetDestroy(family);
    if (all) FcPatternDestroy(all);
  });
}

}  // namespace lentaro
