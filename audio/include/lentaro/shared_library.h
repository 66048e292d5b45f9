// Libraries opened when they are first needed, not at start-up.
//
// Linking the decoders, the stretchers and the sound servers' client
// libraries into the program made every start load about forty shared
// objects (SDL alone brings in X11, Wayland and ALSA) before the window
// could appear, for features a session may never touch. Each such library
// is instead described by a table of function pointers, filled by dlopen
// and dlsym on the first call of its accessor.
//
// A library is declared from a list of its functions, with the types taken
// from the library's own header, so a call through the table is checked by
// the compiler exactly as a direct call would be:
//
//   #define LENTARO_FOO_FUNCTIONS(X) X(foo_open) X(foo_read)
//   LENTARO_SHARED_LIBRARY(FooLibrary, fooLibrary, "libfoo.so.1", LENTARO_FOO_FUNCTIONS)
//
// which declares `struct FooLibrary { ... foo_open; ... foo_read; }` and
// `const FooLibrary* fooLibrary()`, null when the library cannot be used.
//
// Names the library's header renames by macro (libmpg123's large-file
// names) are looked up by their renamed spelling, which is the one the
// library exports.
//
// Threads: an accessor may be called from any thread; the first call loads
// (C++ guarantees one initialisation of the function's static), later
// calls only read. A loaded library stays loaded until the process ends.
#pragma once

#include <memory>

namespace lentaro {

// Looks up a library's symbols; remembers whether any was missing.
class SymbolResolver {
 public:
  explicit SymbolResolver(void* handle) : handle_(handle) {}

  template <class Fn>
  void operator()(Fn*& slot, const char* name) {
    slot = reinterpret_cast<Fn*>(find(name));
  }
  bool complete() const { return complete_; }

 private:
  void* find(const char* name);

  void* handle_;
  bool complete_ = true;
};

// Opens `soname` (dlopen, local symbols). Returns the handle, or null when
// the library is not installed or does not load.
void* openSharedLibrary(const char* soname);

// A table of the library's functions, or null when the library is missing
// or lacks one of them (an older version): a caller then reports the
// feature unavailable instead of calling through a null pointer.
template <class Table, class Fill>
std::unique_ptr<const Table> loadLibraryTable(const char* soname, Fill fill) {
  void* handle = openSharedLibrary(soname);
  if (handle == nullptr) return nullptr;
  auto table = std::make_unique<Table>();
  SymbolResolver resolve(handle);
  fill(*table, resolve);
  if (!resolve.complete()) return nullptr;
  return table;
}

}  // namespace lentaro

#define LENTARO_LIBRARY_MEMBER(fn) decltype(&::fn) fn = nullptr;
#define LENTARO_LIBRARY_NAME(fn) #fn
#define LENTARO_LIBRARY_EXPANDED_NAME(fn) LENTARO_LIBRARY_NAME(fn)
#define LENTARO_LIBRARY_RESOLVE(fn) r(t.fn, LENTARO_LIBRARY_EXPANDED_NAME(fn));

// The table type and its accessor, defined where this stands (a header may
// hold it: the accessor is inline, its table one for the whole program).
#define LENTARO_SHARED_LIBRARY(Table, accessor, soname, FUNCTIONS)                          \
  struct Table {                                                                            \
    FUNCTIONS(LENTARO_LIBRARY_MEMBER)                                                       \
  };                                                                                        \
  inline const Table* accessor() {                                                          \
    static const auto table = ::lentaro::loadLibraryTable<Table>(                           \
        soname,                                                                             \
        [](Table& t, ::lentaro::SymbolResolver& r) { FUNCTIONS(LENTARO_LIBRARY_RESOLVE) }); \
    return table.get();                                                                     \
  }
