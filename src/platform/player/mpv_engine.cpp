#include "platform/player/mpv_engine.h"

#include "platform/player/mpv_library.h"

#include <utility>

#include <mpv/client.h>

#include <clocale>

namespace pelmora::platform::qt {

MpvEngine::MpvEngine(MpvOutputs outputs) : outputs_(outputs) {
  std::setlocale(LC_NUMERIC, "C");
}

namespace {

// A handle with the player's options for `outputs`, initialised; null on failure.
mpv_handle* make_handle(const MpvOutputs& outputs) {
  mpv_handle* handle = mpv_create();
  if (handle == nullptr) return nullptr;
  struct Option {
    const char* name;
    const char* value;
  };
  const Option options[] = {
      {"config", "no"},  // the user's mpv.conf must not change how the program's player behaves
      {"load-scripts", "no"},
      {"audio-client-name", "pelmora"},
      {"idle", "yes"},
      // The item stays open at its end, so that it reads as finished, and mpv never moves on
      // to a prepared next item by itself.
      {"keep-open", "always"},
      // A prepared next item is opened, and its cache filled, once the current one is read.
      {"prefetch-playlist", "yes"},
      {"input-default-bindings", "no"},
      {"input-vo-keyboard", "no"},
      {"osc", "no"},
      // The player's own scripts (its console, statistics page and profile switching) have no
      // use in the program's window, and would each run a thread of their own.
      {"load-stats-overlay", "no"},
      {"load-osd-console", "no"},
      {"load-auto-profiles", "no"},
      {"terminal", "no"},
      {"ytdl", "no"},
      {"cache", "yes"},
      {"demuxer-max-bytes", "150MiB"},
      {"demuxer-max-back-bytes", "50MiB"},
      {"network-timeout", "15"},
      {"volume-max", "100"},
      // A machine without a sound device still plays the picture.
      {"audio-fallback-to-null", "yes"},
  };
  switch (outputs.video) {
    case MpvVideoOutput::kWidget:
      mpv_set_option_string(handle, "vo", "libmpv");
      break;
    case MpvVideoOutput::kWindow:
      // mpv's own output into the window the player gives it (as mpv draws when it runs
      // alone). Its window takes neither pointer nor keys, so they reach the program's window;
      // the pointer never hides over the picture.
      mpv_set_option_string(handle, "vo", "gpu");
      mpv_set_option_string(handle, "gpu-context", "x11egl");
      mpv_set_option_string(handle, "input-cursor", "no");
      mpv_set_option_string(handle, "cursor-autohide", "no");
      // Nor does its window take drops: a file or link dropped on the picture goes to the
      // program, which decides what plays.
      mpv_set_option_string(handle, "drag-and-drop", "no");
      break;
    case MpvVideoOutput::kNone:
      mpv_set_option_string(handle, "vo", "null");
      break;
  }
  // The desktop's sound: its sound server or the sound card. mpv's further outputs (SDL and
  // the like) reach the same ones again, and probing them where none answers (no sound device)
  // held up the start of every item by some 100 ms before the silent output took over.
  mpv_set_option_string(
      handle, "ao", outputs.audio == MpvAudioOutput::kNone ? "null" : "pipewire,pulse,alsa,jack");
  if (!outputs.log_file.empty())
    mpv_set_option_string(handle, "log-file", outputs.log_file.c_str());
  for (const auto& option : options) {
    // Options a build of libmpv lacks (osc without Lua) are left at their defaults.
    mpv_set_option_string(handle, option.name, option.value);
  }
  if (mpv_initialize(handle) < 0) {
    mpv_terminate_destroy(handle);
    return nullptr;
  }
  return handle;
}

}  // namespace

MpvEngine::~MpvEngine() = default;

bool MpvEngine::available() {
  if (!available_) available_ = player_library_present();
  return *available_;
}

std::unique_ptr<PlayerControl> MpvEngine::create() {
  return create_player();
}

std::unique_ptr<MpvPlayer> MpvEngine::create_player() {
  if (!available()) return nullptr;
  return std::make_unique<MpvPlayer>([outputs = outputs_] { return make_handle(outputs); },
                                     outputs_);
}

}  // namespace pelmora::platform::qt
