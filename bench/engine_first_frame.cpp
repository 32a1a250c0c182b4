// engine_first_frame BASE ADDRESS: opens ADDRESS on the running terminal whose control address
// is BASE, plays its stream in libmpv (no video or audio output, the program's cache options)
// and, the moment the first frame is shown, asks the terminal how many bytes it has received.
// Prints "first_frame_ms=T downloaded=BYTES".
#include <httplib.h>
#include <mpv/client.h>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <string>

#include "percent.h"

namespace {

std::string get(const std::string& url) {
  const std::size_t slash = url.find('/', 7);
  httplib::Client client(url.substr(0, slash));
  client.set_read_timeout(std::chrono::seconds(30));
  auto res = client.Get(url.substr(slash));
  return res && res->status == 200 ? res->body : std::string();
}

std::string field(const std::string& body, const std::string& key) {
  const std::size_t at = body.find(key + "=");
  if (at == std::string::npos) return {};
  return body.substr(at + key.size() + 1, body.find('\n', at) - at - key.size() - 1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: engine_first_frame BASE ADDRESS\n");
    return 2;
  }
  const std::string base = argv[1];
  const std::string address = argv[2];
  const std::string hash = address.substr(address.find('|') + 1, 40);
  std::setlocale(LC_NUMERIC, "C");
  mpv_handle* mpv = mpv_create();
  for (const auto& [name, value] :
       {std::pair{"config", "no"}, {"vo", "null"}, {"ao", "null"}, {"cache", "yes"},
        {"demuxer-max-bytes", "150MiB"}, {"demuxer-max-back-bytes", "50MiB"}}) {
    mpv_set_option_string(mpv, name, value);
  }
  if (mpv_initialize(mpv) < 0) return 1;

  const auto start = std::chrono::steady_clock::now();
  std::string stream = get(base + "open?address=" + pelmora::engine::percent_encode(address) +
                           "&role=play");
  stream = stream.substr(0, stream.find('\n'));
  if (stream.empty()) return 1;
  const char* load[] = {"loadfile", stream.c_str(), nullptr};
  mpv_command(mpv, load);
  for (;;) {
    mpv_event* event = mpv_wait_event(mpv, 60);
    if (event->event_id == MPV_EVENT_PLAYBACK_RESTART) break;
    if (event->event_id == MPV_EVENT_END_FILE || event->event_id == MPV_EVENT_NONE) {
      std::fprintf(stderr, "engine_first_frame: no frame\n");
      return 1;
    }
  }
  const std::string status = get(base + "status?hash=" + hash);
  const auto shown = std::chrono::steady_clock::now();
  std::printf("first_frame_ms=%lld downloaded=%s\n",
              static_cast<long long>(
                  std::chrono::duration_cast<std::chrono::milliseconds>(shown - start).count()),
              field(status, "downloaded").c_str());
  mpv_terminate_destroy(mpv);
  return 0;
}
