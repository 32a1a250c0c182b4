// The demo service answers requests that a client sends back to back on one connection (the
// engine's web seed client does) in order, none lost.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "demo_service.h"
#include "support/temp_folder.h"

namespace pelmora::service {
namespace {

namespace fs = std::filesystem;

// A raw connection to 127.0.0.1:port: what is written goes out as one write.
class Connection {
 public:
  explicit Connection(int port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~Connection() { ::close(fd_); }
  bool connected() const { return connected_; }
  bool send_all(const std::string& bytes) {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
  }
  // The bodies of the next `count` responses (empty strings for those that did not come in 5 s).
  std::vector<std::string> responses(std::size_t count) {
    std::vector<std::string> bodies;
    while (bodies.size() < count) {
      const std::size_t end = buffer_.find("\r\n\r\n");
      if (end != std::string::npos) {
        const std::string head = buffer_.substr(0, end);
        const std::size_t at = head.find("Content-Length: ");
        const std::size_t length = at == std::string::npos ? 0 : std::stoul(head.substr(at + 16));
        if (buffer_.size() >= end + 4 + length) {
          bodies.push_back(buffer_.substr(end + 4, length));
          buffer_.erase(0, end + 4 + length);
          continue;
        }
      }
      pollfd fd{fd_, POLLIN, 0};
      char chunk[65536];
      const ssize_t got = ::poll(&fd, 1, 5000) > 0 ? ::recv(fd_, chunk, sizeof chunk, 0) : -1;
      if (got <= 0) break;
      buffer_.append(chunk, static_cast<std::size_t>(got));
    }
    bodies.resize(count);
    return bodies;
  }

 private:
  int fd_;
  bool connected_ = false;
  std::string buffer_;
};

std::string range_request(const std::string& path, std::size_t from, std::size_t to) {
  return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nRange: bytes=" + std::to_string(from) +
         "-" + std::to_string(to) + "\r\n\r\n";
}

TEST(PipelinedRequests, AreAnsweredInOrderOnTheSameConnection) {
  testing::TempFolder root;
  const fs::path media = fs::path(root.path()) / "media";
  fs::create_directories(media);
  std::string clip(2 * 1024 * 1024, '\0');
  for (std::size_t i = 0; i < clip.size(); ++i)
    clip[i] = static_cast<char>((i * 7 + i / 991) & 0xff);
  std::ofstream(media / "p101-s1-e01.mp4", std::ios::binary) << clip;
  ServiceOptions options;
  options.media_folder = media;
  DemoService service(std::move(options));
  ASSERT_TRUE(service.start());

  Connection connection(service.port());
  ASSERT_TRUE(connection.connected());
  // Three ranges in one write, the way a web seed client asks for its next pieces.
  const std::string path = "/qvod/p101-s1-e01.mp4";
  ASSERT_TRUE(connection.send_all(range_request(path, 1048576, 2097151) +
                                  range_request(path, 0, 99) + range_request(path, 5000, 5099)));
  const auto bodies = connection.responses(3);
  EXPECT_TRUE(bodies[0] == clip.substr(1048576)) << bodies[0].size();
  EXPECT_EQ(bodies[1], clip.substr(0, 100));
  EXPECT_EQ(bodies[2], clip.substr(5000, 100));

  // The connection stays open for the next requests, again sent together.
  ASSERT_TRUE(connection.send_all(range_request(path, 7, 8) + range_request(path, 9, 9)));
  const auto more = connection.responses(2);
  EXPECT_EQ(more[0], clip.substr(7, 2));
  EXPECT_EQ(more[1], clip.substr(9, 1));
}

}  // namespace
}  // namespace pelmora::service
