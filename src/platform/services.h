#pragma once

namespace pelmora::platform {

class Backend;
class Clock;
class Dialogs;
class HttpFetch;
class InstanceChannel;
class Launcher;
class NetworkAdapters;
class PlayerEngine;
class Power;
class ProcessTable;
class Screen;
class Tray;

// Everything the program reaches outside itself, handed to the forms that need it. The desktop
// program fills it with the real services, the tests with the headless ones (and the real HTTP
// fetch, files and processes where a test meets the world).
struct Services {
  Backend& backend;
  Clock& clock;
  HttpFetch& http;
  ProcessTable& processes;
  Launcher& launcher;
  Dialogs& dialogs;
  Tray& tray;
  InstanceChannel& channel;
  Power& power;
  Screen& screen;
  NetworkAdapters& adapters;
  PlayerEngine& player_engine;
};

}  // namespace pelmora::platform
