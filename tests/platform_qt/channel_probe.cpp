// A second start of the program, as far as the instance channel sees it: used by the channel
// tests to run the channel from a real, separate process.
//   channel_probe FOLDER send COMMAND   exit 0 when the first instance acknowledged COMMAND,
//                                       1 when nobody answered, 3 when this start was the first
//   channel_probe FOLDER serve          claims, listens, prints "ready", then prints each command
//                                       it receives on a line of its own, until it is killed
#include <QtCore/QCoreApplication>
#include <cstdio>
#include <string>

#include "platform/qt/local_instance_channel.h"

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  if (argc < 3) return 2;
  pelmora::platform::LocalInstanceChannel channel("Pelmora|BA1", argv[1]);
  const std::string mode = argv[2];
  if (mode == "send" && argc >= 4) {
    if (channel.claim()) return 3;
    return channel.send(argv[3]) ? 0 : 1;
  }
  if (mode == "serve") {
    if (!channel.claim()) return 3;
    channel.listen([](const std::string& command) {
      std::printf("%s\n", command.c_str());
      std::fflush(stdout);
    });
    std::printf("ready\n");
    std::fflush(stdout);
    return application.exec();
  }
  return 2;
}
