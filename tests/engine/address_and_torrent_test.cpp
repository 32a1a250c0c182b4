// The engine's small parts: the address grammar, the torrent maker, the tracker, the options.
#include <gtest/gtest.h>
#include <libtorrent/hex.hpp>
#include <libtorrent/torrent_info.hpp>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "http_head.h"
#include "qvod_address.h"
#include "support/temp_folder.h"
#include "terminal_options.h"
#include "torrent_maker.h"
#include "tracker.h"

namespace pelmora::engine {
namespace {

const std::string kHash = "0123456789ABCDEFabcdef0123456789abcdef01";

TEST(QvodAddress, TakesTheThreeFields) {
  const auto address = parse_qvod_address("QVOD://1234|" + kHash + "|第1集 a+b.mp4|");
  ASSERT_TRUE(address);
  EXPECT_EQ(address->size, 1234u);
  EXPECT_EQ(address->hash, "0123456789abcdefabcdef0123456789abcdef01");
  EXPECT_EQ(address->name, "第1集 a+b.mp4");
  EXPECT_EQ(parse_qvod_address("qvod://18446744073709551615|" + kHash + "|a|")->size,
            18446744073709551615u);
}

TEST(QvodAddress, RefusesEverythingElse) {
  for (const std::string& text :
       {std::string("qvod://"), "qvod://12|" + kHash + "|a", "qvod://12|" + kHash + "|a|x",
        "qvod://12|" + kHash + "|a||", "qvod://|" + kHash + "|a|", "qvod://0|" + kHash + "|a|",
        "qvod://-1|" + kHash + "|a|", "qvod://1e3|" + kHash + "|a|",
        "qvod://18446744073709551616|" + kHash + "|a|", "qvod://12|" + kHash + "0|a|",
        "qvod://12|" + kHash.substr(2) + "zz|a|", "qvod://12|" + kHash + "||",
        "qvod://12|" + kHash + "|..|", "qvod://12|" + kHash + "|d/a|",
        "qvod://12|" + kHash + "|d\\a|", "qvod://12|" + kHash + "|a\nb|",
        "http://12|" + kHash + "|a|", "qvod:/12|" + kHash + "|a|"}) {
    EXPECT_FALSE(parse_qvod_address(text)) << text;
  }
}

// A request head is read from its own bytes: a head without fields does not take those of the
// request sent after it on the same connection (a Range meant for the second answer).
TEST(HttpHead, ReadsEachHeadFromItsOwnBytes) {
  const std::string second = "GET /b HTTP/1.1\r\nRange: bytes=0-9\r\n\r\n";
  for (const std::string first : {"GET /a?x=1 HTTP/1.1\r\n\r\n", "GET /a?x=1 HTTP/1.1\n\n"}) {
    const ParsedHead head = parse_head(first + second);
    ASSERT_EQ(head.state, HeadState::whole) << first;
    EXPECT_EQ(head.request.path, "/a");
    EXPECT_TRUE(head.request.headers.empty());
    EXPECT_EQ(head.length, first.size());
    EXPECT_EQ(parse_head((first + second).substr(head.length)).request.header("range"),
              "bytes=0-9");
  }
  EXPECT_EQ(parse_head("GET /a HTTP/1.1\r\nHost: x\r\n").state, HeadState::line);
  EXPECT_EQ(parse_head("GET a HTTP/1.1\r\n").state, HeadState::bad);
  EXPECT_EQ(parse_head("GET /a HTTP/1.0\n\n").request.header("connection"), "close");
  // Ranges: the last bytes of an empty file are no bytes at all.
  EXPECT_FALSE(byte_range("bytes=-5", 0)->satisfiable);
  EXPECT_EQ(byte_range("bytes=-5", 3)->length, 3u);
  EXPECT_FALSE(byte_range("bytes=5-3", 10));
}

// The maker's torrent is one libtorrent reads with the same info-hash, and the same bytes under
// the same name always make the same torrent.
TEST(TorrentMaker, MakesTheSameReadableTorrentEveryTime) {
  testing::TempFolder folder;
  std::string bytes(700 * 1024 + 3, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7919 >> 3);
  folder.write("clip.mp4", bytes);
  const auto made = torrent::make_torrent(folder.file("clip.mp4"), "clip.mp4");
  ASSERT_TRUE(made);
  EXPECT_EQ(made->size, bytes.size());
  EXPECT_EQ(made->info_hash.size(), 40u);
  lt::error_code ec;
  lt::torrent_info info({made->torrent.data(), static_cast<std::ptrdiff_t>(made->torrent.size())},
                        ec, lt::from_span);
  ASSERT_FALSE(ec) << ec.message();
  EXPECT_EQ(info.num_pieces(), 3);
  EXPECT_EQ(info.piece_length(), 256 * 1024);
  EXPECT_EQ(info.files().file_name(lt::file_index_t{0}), "clip.mp4");
  EXPECT_EQ(info.info_hashes().v1.to_string().size() == 20
                ? lt::aux::to_hex(info.info_hashes().v1.to_string())
                : "",
            made->info_hash);
  EXPECT_EQ(info.creation_date(), 0);
  EXPECT_TRUE(info.trackers().empty());

  EXPECT_EQ(torrent::make_torrent(folder.file("clip.mp4"), "clip.mp4")->torrent, made->torrent);
  EXPECT_NE(torrent::make_torrent(folder.file("clip.mp4"), "other.mp4")->info_hash,
            made->info_hash);
  folder.write("empty", "");
  EXPECT_FALSE(torrent::make_torrent(folder.file("empty"), "empty"));
  EXPECT_FALSE(torrent::make_torrent(folder.file("missing"), "missing"));
  EXPECT_FALSE(torrent::make_torrent(folder.file("clip.mp4"), "../clip.mp4"));
}

TEST(Tracker, TellsEachPeerAboutTheOthers) {
  service::Tracker tracker;
  const std::string hash = "%01%02%03%04%05%06%07%08%09%0A%0B%0C%0D%0E%0F%10%11%12%13%14";
  EXPECT_EQ(tracker.announce("info_hash=" + hash + "&port=6881&event=started", "127.0.0.1"),
            "d8:intervali30e12:min intervali5e5:peers0:e");
  const std::string second = tracker.announce("info_hash=" + hash + "&port=6882", "127.0.0.1");
  EXPECT_EQ(second, std::string("d8:intervali30e12:min intervali5e5:peers6:") +
                        std::string("\x7f\0\0\x01\x1a\xe1", 6) + "e");
  EXPECT_EQ(tracker.peer_count(std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c"
                                           "\x0d\x0e\x0f\x10\x11\x12\x13\x14")),
            2);
  tracker.announce("info_hash=" + hash + "&port=6881&event=stopped", "127.0.0.1");
  const std::string third = tracker.announce("info_hash=" + hash + "&port=6883", "127.0.0.1");
  EXPECT_NE(third.find(std::string("\x7f\0\0\x01\x1a\xe2", 6)), std::string::npos);
  EXPECT_EQ(third.find(std::string("\x7f\0\0\x01\x1a\xe1", 6)), std::string::npos);

  EXPECT_EQ(tracker.announce("info_hash=%01%02&port=1", "127.0.0.1"),
            service::tracker_failure("bad info_hash"));
  EXPECT_EQ(tracker.announce("info_hash=" + hash + "&port=0", "127.0.0.1"),
            service::tracker_failure("bad port"));
}

TEST(TerminalOptions, PlayerFolderIsWhereTheProgramWasStartedFrom) {
  const auto parsed =
      parse_terminal_options({}, "../player/QvodTerminal.exe", "/home/u/work", "", "/usr/bin");
  ASSERT_TRUE(parsed.options);
  EXPECT_EQ(parsed.options->player_folder, "/home/u/player");
  EXPECT_EQ(parsed.options->service_url, "http://127.0.0.1:8750/");
  const auto from_env = parse_terminal_options({"--seed", "clips/"}, "/p/QvodTerminal.exe", "/w",
                                               "http://127.0.0.1:9/base", "");
  EXPECT_EQ(from_env.options->service_url, "http://127.0.0.1:9/base/");
  EXPECT_EQ(from_env.options->seed_folders, std::vector<std::string>{"/w/clips"});
  EXPECT_FALSE(parse_terminal_options({"--listen-port", "70000"}, "/p/x", "/w", "", "").options);
  EXPECT_FALSE(parse_terminal_options({"--service", "ftp://x/"}, "/p/x", "/w", "", "").options);
  EXPECT_FALSE(parse_terminal_options({"--seed"}, "/p/x", "/w", "", "").options);
  EXPECT_EQ(parsed.options->startup_ms, 1000);
  EXPECT_EQ(
      parse_terminal_options({"--startup-time", "0"}, "/p/x", "/w", "", "").options->startup_ms, 0);
  EXPECT_FALSE(parse_terminal_options({"--startup-time", "-5"}, "/p/x", "/w", "", "").options);
  // What the terminal ends with: a process and its start time, or nothing.
  const auto end_with = [](const std::string& value) {
    return parse_terminal_options({"--end-with", value}, "/p/x", "/w", "", "").options;
  };
  ASSERT_TRUE(end_with("123:4567"));
  EXPECT_EQ(end_with("123:4567")->end_with->pid, 123);
  EXPECT_EQ(end_with("123:4567")->end_with->start_ticks, 4567u);
  EXPECT_TRUE(end_with("none")->end_with_given);
  EXPECT_FALSE(end_with("none")->end_with);
  EXPECT_FALSE(parsed.options->end_with_given);
  for (const char* bad : {"123", "0:5", "-1:5", "12:x", "12:5:6", ""}) EXPECT_FALSE(end_with(bad));
  // A process given the identifier of the one watched is not taken for it.
  EXPECT_FALSE(still_runs({::getpid(), 1}));

  EXPECT_EQ(download_folder("D:/media/", "/p", "/home/u/Media/"), "/p/D:/media");
  EXPECT_EQ(download_folder("/srv/media/", "/p", "/home/u/Media/"), "/srv/media");
  EXPECT_EQ(download_folder("", "/p", "/home/u/Media/"), "/home/u/Media");
}

}  // namespace
}  // namespace pelmora::engine
