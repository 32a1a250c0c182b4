#pragma once

#include "platform/headless/headless_backend.h"
#include "platform/headless/recorders.h"
#include "platform/headless/scripted_dialogs.h"
#include "platform/headless/scripted_player.h"
#include "platform/services.h"

namespace pelmora::headless {

// Every headless service in one place, for a test to set up and inspect. The HTTP fetch and the
// process table come from outside: a test that meets the world passes the real ones (libcurl
// against a loopback service, /proc), one that does not passes a fake.
struct HeadlessPlatform {
  HeadlessBackend backend;
  ScriptedDialogs dialogs;
  ScriptedPlayerEngine player_engine;
  RecordingLauncher launcher;
  RecordingPower power;
  HeadlessTray tray;
  ChannelBus bus;
  HeadlessChannel channel{bus};
  FixedScreen screen;
  FixedAdapters adapters;
  FakeProcessTable processes;

  platform::Services services(platform::HttpFetch& http) { return services(http, processes); }
  platform::Services services(platform::HttpFetch& http, platform::ProcessTable& process_table) {
    return platform::Services{backend, backend, http,  process_table, launcher, dialogs,
                              tray,    channel, power, screen,        adapters, player_engine};
  }
};

}  // namespace pelmora::headless
