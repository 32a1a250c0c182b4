#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "app/configuration.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "platform/curl/curl_fetch.h"
#include "platform/headless/headless_platform.h"
#include "support/loopback_server.h"
#include "support/temp_folder.h"

namespace pelmora::testing {

// The main window on the headless backend, in a fresh program folder prepared as start-up
// prepares it, with the real HTTP fetch pointed at a loopback service the test controls.
class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest();
  ~MainWindowTest() override;

  // Makes and loads the window (runs its initialisation). `command_line` as the program got it.
  app::BA1& open_window(const std::string& command_line = "");
  headless::ScriptedPlayer& player();
  // Lays the window out as start-up does: size limits from the work area, skin 0, its size.
  void lay_out(app::BA1& ba1);
  // A person's click in the middle of a control, through the window's pointer (which picks the
  // control under that point, as on screen).
  static void click_on(app::BA1& ba1, const platform::Control& control);
  // The settings file of the program folder.
  std::string setting(std::string_view section, std::string_view key);
  void set_setting(std::string_view section, std::string_view key, std::string_view value);
  // Lets every request under way be answered (or time out) and runs the handlers of the
  // replies, as the window's event loop would; fails the test if that takes over `limit`.
  void settle(std::chrono::milliseconds limit = std::chrono::seconds(5));

  // What the window's playback session plays: the local file's path ("" for none), the network
  // or web-kind episode's key ("0" for none).
  static std::string playing_file(const app::BA1& ba1);
  static std::string playing_episode(const app::BA1& ba1);
  // Makes the session play a network episode of the network list (list id `id`), as a play link
  // would, without the window's stop and tabs.
  static void play_network_episode(app::BA1& ba1, const std::string& episode, const std::string& id,
                                   const std::string& address = "a");
  static void play_local_file(app::BA1& ba1, const std::string& path);

  TempFolder folder;
  LoopbackServer service;
  headless::HeadlessPlatform headless;
  app::Configuration config;
  platform::CurlFetch http{
      [this](std::function<void()> task) { headless.backend.post(std::move(task)); }, 1000, 1500};
  std::unique_ptr<platform::Services> services;
  std::unique_ptr<app::BA1> window;
};

}  // namespace pelmora::testing
