#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/instance_channel.h"
#include "platform/launcher.h"
#include "platform/network_adapters.h"
#include "platform/power.h"
#include "platform/process_table.h"
#include "platform/screen.h"
#include "platform/tray.h"

// The headless stand-ins for the services that reach beyond the program: each records what the
// program asked of it and answers as the test set it up. Nothing here starts a process, opens a
// window or shuts anything down.
namespace pelmora::headless {

// Program starts, shell opens and component registrations, recorded, never run.
class RecordingLauncher final : public platform::Launcher {
 public:
  struct Start {
    std::string path;
    std::vector<std::string> args;
  };
  std::vector<Start> starts;
  std::vector<std::string> opened_addresses;
  std::vector<std::string> opened_folders;
  std::vector<std::string> registrations;
  bool succeed = true;

  bool start_program(const std::string& path, const std::vector<std::string>& args) override {
    starts.push_back({path, args});
    return succeed;
  }
  bool open_address(const std::string& url) override {
    opened_addresses.push_back(url);
    return succeed;
  }
  bool open_folder(const std::string& folder) override {
    opened_folders.push_back(folder);
    return succeed;
  }
  bool register_component(const std::string& path) override {
    registrations.push_back(path);
    return true;
  }
};

// Shutdown requests, counted.
class RecordingPower final : public platform::Power {
 public:
  int shutdowns = 0;
  bool shutdown() override {
    ++shutdowns;
    return true;
  }
};

// A process table the test fills; terminate removes the process and records it.
class FakeProcessTable final : public platform::ProcessTable {
 public:
  std::vector<platform::ProcessInfo> processes;
  std::vector<int> terminated;

  void add(int pid, const std::string& exe_path);
  std::vector<platform::ProcessInfo> list() override { return processes; }
  bool terminate(int pid) override;
};

// The notification area, recorded.
class HeadlessTray final : public platform::Tray {
 public:
  struct Balloon {
    std::string title;
    std::string text;
  };
  bool has_notification_area = true;
  std::vector<Balloon> balloons;

  bool available() const override { return has_notification_area; }
  void add(const std::string& tip) override {
    shown_ = true;
    tip_ = tip;
  }
  void set_tip(const std::string& tip) override { tip_ = tip; }
  void remove() override { shown_ = false; }
  bool shown() const override { return shown_; }
  const std::string& tip() const { return tip_; }
  void balloon(const std::string& title, const std::string& text) override {
    balloons.push_back({title, text});
  }

 private:
  bool shown_ = false;
  std::string tip_;
};

// The meeting point of headless instance channels: the instances of one test share one bus, as
// the starts of the program share one per-user socket.
class ChannelBus {
 public:
  std::function<void(const std::string&)> listener;
  bool owned = false;
  std::vector<std::string> delivered;
};

class HeadlessChannel final : public platform::InstanceChannel {
 public:
  explicit HeadlessChannel(ChannelBus& bus) : bus_(bus) {}
  bool claim() override;
  void listen(std::function<void(const std::string& command)> on_command) override;
  bool send(const std::string& command) override;
  bool owner() const { return owner_; }

 private:
  ChannelBus& bus_;
  bool owner_ = false;
};

// A 1920 x 1080 screen with a 40-pixel panel at the bottom, unless the test sets other sizes.
class FixedScreen final : public platform::Screen {
 public:
  platform::Rect whole{0, 0, 1920, 1080};
  platform::Rect work{0, 0, 1920, 1040};
  int twips = 15;
  platform::Rect geometry() const override { return whole; }
  platform::Rect work_area() const override { return work; }
  int twips_per_pixel_x() const override { return twips; }
  int twips_per_pixel_y() const override { return twips; }
};

// Network interfaces as the test lists them.
class FixedAdapters final : public platform::NetworkAdapters {
 public:
  std::vector<platform::NetworkAdapter> adapters;
  std::vector<platform::NetworkAdapter> list() override { return adapters; }
};

}  // namespace pelmora::headless
