// A start of the program, as far as the instance channel sees it: used by the channel tests to
// run the channel from real, separate processes.
//   channel_probe FOLDER send COMMAND [WAIT_MS]
//       exit 0 when the first instance took COMMAND, 1 when nobody took it in time (the reason
//       on standard error), 3 when this start was or became the first
//   channel_probe FOLDER serve         claims, listens, prints "ready", then prints each command
//                                      it receives on a line of its own, until it is killed
//   channel_probe FOLDER hold          claims but never takes a command; prints "ready"
//   channel_probe FOLDER refuse MS     claims, prints "ready", takes no command for MS ms, then
//                                      ends as a start without a window does: refuses what it
//                                      holds and what comes for half a second, then exits
#include <QtCore/QCoreApplication>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/desktop/local_instance_channel.h"

namespace {

using pelmora::platform::LocalInstanceChannel;

void print_line(const std::string& text) {
  std::printf("%s\n", text.c_str());
  std::fflush(stdout);
}

int serve(QCoreApplication& application, LocalInstanceChannel& channel) {
  channel.listen(print_line);
  return application.exec();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string mode = argv[2];
  LocalInstanceChannel channel("Pelmora|BA1", argv[1]);
  if (mode == "send" && argc >= 4) {
    if (channel.claim()) return 3;
    const auto wait = std::chrono::milliseconds(argc >= 5 ? std::stoi(argv[4]) : 30000);
    const auto result = channel.hand_over(argv[3], wait);
    if (result == LocalInstanceChannel::HandOver::kFirst) return 3;
    if (result == LocalInstanceChannel::HandOver::kFailed) {
      std::fprintf(stderr, "%s\n", channel.failure().c_str());
      return 1;
    }
    return 0;
  }
  if (mode == "refuse" && argc >= 4) {
    if (!channel.claim()) return 3;
    print_line("ready");
    std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(argv[3])));
    channel.refuse("the user declined");
    print_line("refused");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    return 0;
  }
  if (mode == "serve" || mode == "hold") {
    if (!channel.claim()) return 3;
    QCoreApplication application(argc, argv);
    print_line("ready");
    if (mode == "hold") return application.exec();
    return serve(application, channel);
  }
  return 2;
}
