#include "lentaro/shared_library.h"

#include <dlfcn.h>

namespace lentaro {

void* SymbolResolver::find(const char* name) {
  void* symbol = dlsym(handle_, name);
  if (symbol == nullptr) complete_ = false;
  return symbol;
}

void* openSharedLibrary(const char* soname) {
  // RTLD_NOW: a missing symbol shows here, once, not as a crash in the
  // middle of playback. RTLD_LOCAL: the library's names stay out of the
  // program's namespace.
  return dlopen(soname, RTLD_NOW | RTLD_LOCAL);
}

}  // namespace lentaro
