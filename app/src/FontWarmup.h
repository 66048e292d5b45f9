// Start-up: fontconfig reads its configuration and font caches the first
// time anything asks for a font, a few milliseconds on the critical path
// to the first window. FontWarmup does that read on a thread of its own
// while the application object connects to the display, so the window's
// first text finds the cache ready.
//
// Thread: constructed and joined on the main thread; the worker only calls
// fontconfig, which is thread-safe.
#pragma once

#include <thread>

namespace lentaro {

class FontWarmup {
 public:
  FontWarmup();
  ~FontWarmup() { join(); }
  FontWarmup(const FontWarmup&) = delete;
  FontWarmup& operator=(const FontWarmup&) = delete;

  // Waits for the worker; call before the first widget is made, so Qt's own
  // font database never races the warm-up for the first load.
  void join() {
    if (worker_.joinable()) worker_.join();
  }

 private:
  std::thread worker_;
};

}  // namespace lentaro
