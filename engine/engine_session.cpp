#include "engine_session.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <httplib.h>
#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/alert_types.hpp>
#include <libtorrent/hex.hpp>
#include <libtorrent/read_resume_data.hpp>
#include <libtorrent/session.hpp>
#include <libtorrent/session_params.hpp>
#include <libtorrent/settings_pack.hpp>
#include <libtorrent/torrent_handle.hpp>
#include <libtorrent/torrent_info.hpp>
#include <libtorrent/torrent_status.hpp>
#include <libtorrent/write_resume_data.hpp>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "hashing_disk_io.h"
#include "percent.h"
#include "random_token.h"
#include "state_folder.h"
#include "torrent_maker.h"

namespace pelmora::engine {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Pieces ahead of a reader that get deadlines, and how far apart the deadlines are.
constexpr int kWindowPieces = 8;
constexpr int kDeadlineStepMs = 150;
// A prepared item's first and last pieces, fetched before the rest: the container's header and,
// for files that keep their index at the end, that index.
constexpr int kHeadPieces = 4;
constexpr int kTailPieces = 2;
// A playing item that starts from nothing first fetches only what its readers ask for, at most
// this many pieces, until the start-up time after its first read: the player's first frame does
// not share the line with the rest of the file, and the player's read-ahead waits that long.
constexpr int kStartupPieces = 8;
// ... or, when nothing reads it, this long after its metadata is known.
constexpr auto kStartupUnread = std::chrono::milliseconds(2000);
bool is_end_piece(int piece, int num_pieces) {
  return piece < kHeadPieces || piece >= num_pieces - kTailPieces;
}
// While an item plays and still downloads, a prepared one is held to this rate.
constexpr int kNextRateWhilePlaying = 1024 * 1024;

std::string hex_of(const lt::sha1_hash& hash) {
  return lt::aux::to_hex({hash.data(), static_cast<std::ptrdiff_t>(hash.size())});
}

lt::sha1_hash hash_from_hex(const std::string& hex) {
  lt::sha1_hash hash;
  lt::aux::from_hex({hex.data(), static_cast<std::ptrdiff_t>(hex.size())}, hash.data());
  return hash;
}

std::optional<std::string> read_whole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// Whether the item's file at `path` was taken away (a path not known yet was not).
bool file_gone(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::stat(path.c_str(), &info) != 0 && errno == ENOENT;
}

// Whether files can be made in `folder` (made first when missing).
bool folder_writable(const std::string& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (!fs::is_directory(folder, ec)) return false;
  const std::string probe = folder + "/.pelmora-write-probe-" + std::to_string(getpid());
  const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
}

// The parts of a service address that an HTTP client needs.
struct ServiceParts {
  std::string host_port;  // "http://127.0.0.1:8750"
  std::string path;       // "/", or the service's own path ending in "/"
};

ServiceParts split_service(const std::string& url) {
  const std::size_t scheme = url.find("://");
  const std::size_t slash = url.find('/', scheme == std::string::npos ? 0 : scheme + 3);
  if (slash == std::string::npos) return {url, "/"};
  return {url.substr(0, slash), url.substr(slash)};
}

struct Reader {
  int piece = -1;
  bool waiting = false;
  std::optional<std::uint64_t> offset;  // where it last asked to read
};

}  // namespace

std::optional<Role> parse_role(std::string_view text) {
  if (text == words::kRolePlay) return Role::play;
  if (text == words::kRoleNext) return Role::next;
  return std::nullopt;
}

namespace {

// The error word of a write that failed: a full file system (or quota) is told apart, as the
// user can do something about it other than choosing another folder.
std::string_view storage_error_word(const lt::error_code& error) {
  if (error == boost::system::errc::no_space_on_device ||
      error == boost::system::error_code(EDQUOT, boost::system::system_category())) {
    return words::kFolderFull;
  }
  return words::kUnwritableFolder;
}

}  // namespace

struct Item {
  QvodAddress address;
  lt::torrent_handle handle;
  std::string token;
  Role role = Role::background;
  std::string save_path;
  std::string file_path;  // where the file's bytes are, once the metadata is known
  std::string error;
  bool metadata = false;
  bool metadata_asked = false;   // the service has been asked for the metadata
  bool metadata_failed = false;  // and could not give it
  bool got_payload = false;
  bool finished = false;  // every piece is on disk (the library seeds it)
  // A piece failed its hash: the web seed is no longer asked, as peers can be told apart and
  // dropped by the session but the service's web seed cannot.
  bool web_seed_distrusted = false;
  Clock::time_point distrusted_at;
  bool restarting = false;
  int piece_length = 0;
  int num_pieces = 0;
  Clock::time_point opened = Clock::now();
  std::map<int, Reader> readers;
  // The start-up phase of a playing item (see kStartupPieces).
  bool startup = false;
  bool startup_read = false;  // a reader has asked for its first bytes
  Clock::time_point startup_until;
  Clock::time_point metadata_at;
  std::set<int> startup_pieces;
  bool ends_fetched = false;  // a prepared item has its first and last pieces
  // Metadata that proved the SIZE of the item's address wrong: the item is out of the session
  // and its saved state gone, and only an address with the size it proves can bring it back.
  std::shared_ptr<const lt::torrent_info> proven;
};

struct Engine::Impl {
  explicit Impl(EngineOptions o) : options(std::move(o)) {}

  EngineOptions options;
  std::unique_ptr<lt::session> session;
  mutable std::mutex mutex;
  std::condition_variable changed;
  std::map<std::string, Item> items;          // by hash
  std::map<std::string, std::string> tokens;  // stream token -> hash
  bool stopping = false;
  bool stopped = false;
  std::thread alert_thread;
  std::vector<std::thread> fetchers;
  int next_reader = 1;

  lt::settings_pack settings() const;
  void load_state();
  void add_to_session(Item& item, lt::add_torrent_params params);
  Item& new_item(const QvodAddress& address);
  void on_metadata(Item& item);
  void apply_role(Item& item);
  void end_startup(Item& item);
  std::vector<lt::download_priority_t> startup_priorities(Item& item, int num_pieces,
                                                          int piece_length);
  std::vector<lt::download_priority_t> priorities(Item& item, int num_pieces, int piece_length);
  int download_limit(const Item& item) const;
  void set_window(Item& item, int piece);
  void aim(Item& item, int reader, int piece);
  void fail(Item& item, std::string_view error);
  void mismatch(Item& item, std::shared_ptr<const lt::torrent_info> ti);
  void start_over(Item& item);
  void remove_state(const std::string& hash) const;
  Item* by_handle(const lt::torrent_handle& handle);
  void handle_alert(lt::alert* alert);
  void tick();
  // An item the regular look of `tick` is for: one that is fetched and has not failed.
  static bool looked_after(const Item& item);
  void fetch_metadata(std::string hash, std::string service_url);
  void run_alerts();
  void save_item_file(const Item& item) const;
  std::string state_path(const std::string& hash, const char* extension) const {
    return options.state_folder + "/" + hash + extension;
  }
  std::vector<std::string> web_seeds(const std::string& name, bool distrusted = false) const {
    if (!options.web_seed || distrusted) return {};
    return {options.service_url + "qvod/" + percent_encode(name)};
  }
  std::vector<std::string> trackers() const {
    if (!options.peers) return {};
    return {options.service_url + "announce"};
  }
};

Engine::Engine(EngineOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

Engine::~Engine() {
  stop();
}

lt::settings_pack Engine::Impl::settings() const {
  lt::settings_pack pack;
  pack.set_str(lt::settings_pack::listen_interfaces,
               options.listen_interface + ":" + std::to_string(options.listen_port));
  pack.set_bool(lt::settings_pack::enable_dht, false);
  pack.set_bool(lt::settings_pack::enable_lsd, false);
  pack.set_bool(lt::settings_pack::enable_upnp, false);
  pack.set_bool(lt::settings_pack::enable_natpmp, false);
  pack.set_bool(lt::settings_pack::enable_incoming_utp, false);
  pack.set_bool(lt::settings_pack::enable_outgoing_utp, false);
  // Peers of one machine share an address and differ only by port.
  pack.set_bool(lt::settings_pack::allow_multiple_connections_per_ip, true);
  pack.set_int(lt::settings_pack::alert_mask,
               lt::alert_category::status | lt::alert_category::error |
                   lt::alert_category::storage | lt::alert_category::piece_progress);
  pack.set_int(lt::settings_pack::active_downloads, -1);
  pack.set_int(lt::settings_pack::active_seeds, -1);
  pack.set_int(lt::settings_pack::active_limit, -1);
  pack.set_int(lt::settings_pack::stop_tracker_timeout, 1);
  // A web server that closes its connection after a number of requests is asked again after a
  // second, not after the library's default pause, which would leave a stream waiting.
  pack.set_int(lt::settings_pack::urlseed_wait_retry, 1);
  // Web seed requests stay short so that a deadline for a piece further on is not stuck behind
  // a long run of pieces already asked for (the library asks at least 1 MiB of a web server that
  // keeps its connections, and sends the next requests before the answers come).
  pack.set_int(lt::settings_pack::urlseed_max_request_bytes, 1024 * 1024);
  // A peer that closed its connection is tried again after a few seconds, not after a minute:
  // a client that restarts its download once it has the metadata (Transmission) drops every
  // connection, and one that takes no peer at a loopback address (Transmission again) is only
  // ever reached by this side connecting.
  pack.set_int(lt::settings_pack::min_reconnect_time, 3);
  // An item may want no piece for a moment (while it starts); its web seed stays connected.
  pack.set_bool(lt::settings_pack::close_redundant_connections, false);
  // On loopback the bytes come faster than one disk write at a time takes them; a deeper write
  // queue and a larger receive buffer keep the connection reading. Two disk threads are as many
  // as the writes can use, more only take turns. Both cores hash the pieces that are read back
  // (a check of files found on disk).
  pack.set_int(lt::settings_pack::max_queued_disk_bytes, 8 * 1024 * 1024);
  pack.set_int(lt::settings_pack::max_peer_recv_buffer_size, 8 * 1024 * 1024);
  pack.set_int(lt::settings_pack::aio_threads, 2);
  pack.set_int(lt::settings_pack::hashing_threads, 2);
  // Files are written with plain writes, not through a mapping (see hashing_disk_io.h).
  pack.set_int(lt::settings_pack::disk_write_mode, lt::settings_pack::always_pwrite);
  pack.set_str(lt::settings_pack::user_agent, "QvodTerminal/1.0");
  return pack;
}

bool Engine::start() {
  Impl& d = *impl_;
  // Its state is the user's alone, also when an older terminal left it readable by others.
  state_folder::keep_private(d.options.state_folder);
  lt::session_params params(d.settings());
  // Plain writes through open files, and pieces hashed as they arrive instead of read back: a
  // file that streams through the terminal does not count as its memory.
  params.disk_io_constructor = hashing_disk_io_constructor;
  try {
    d.session = std::make_unique<lt::session>(std::move(params));
  } catch (const std::exception&) {
    return false;
  }
  // A session that cannot listen still starts; the port says so.
  if (!d.session->is_listening()) return false;
  {
    std::lock_guard lock(d.mutex);
    d.load_state();
  }
  d.alert_thread = std::thread([&d] { d.run_alerts(); });
  return true;
}

int Engine::listen_port() const {
  return impl_->session ? impl_->session->listen_port() : 0;
}

void Engine::Impl::save_item_file(const Item& item) const {
  state_folder::write_file(state_path(item.address.hash, ".item"),
                           "size=" + std::to_string(item.address.size) + "\nname=" +
                               item.address.name + "\nsave_path=" + item.save_path + "\n");
}

void Engine::Impl::load_state() {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(options.state_folder, ec)) {
    const fs::path path = entry.path();
    if (path.extension() != ".item") continue;
    const std::string hash = path.stem().string();
    if (!is_info_hash(hash) || items.count(hash)) continue;
    const auto text = read_whole(path);
    if (!text) continue;
    QvodAddress address;
    address.hash = hash;
    std::string save_path;
    std::istringstream lines(*text);
    for (std::string line; std::getline(lines, line);) {
      if (line.starts_with("size=")) address.size = std::strtoull(line.c_str() + 5, nullptr, 10);
      if (line.starts_with("name=")) address.name = line.substr(5);
      if (line.starts_with("save_path=")) save_path = line.substr(10);
    }
    if (address.size == 0 || address.name.empty() || save_path.empty()) continue;

    // Resume data is good for one start: after a crash the next start checks the file itself
    // against the piece hashes instead of trusting an older account of it.
    lt::add_torrent_params params;
    const std::string resume = state_path(hash, ".resume");
    if (const auto bytes = read_whole(resume)) {
      lt::error_code error;
      params =
          lt::read_resume_data({bytes->data(), static_cast<std::ptrdiff_t>(bytes->size())}, error);
      if (error) params = lt::add_torrent_params();
    }
    fs::remove(resume, ec);
    if (!params.ti) {
      if (const auto torrent = read_whole(state_path(hash, ".torrent"))) {
        lt::error_code error;
        auto ti = std::make_shared<lt::torrent_info>(
            lt::span<const char>(torrent->data(), static_cast<std::ptrdiff_t>(torrent->size())),
            error, lt::from_span);
        if (!error && hex_of(ti->info_hashes().v1) == hash) {
          params = lt::add_torrent_params();
          params.ti = std::move(ti);
        }
      }
    }
    if (params.ti && (params.ti->num_files() != 1 ||
                      static_cast<std::uint64_t>(params.ti->total_size()) != address.size)) {
      // Saved by an older terminal for an address its metadata refutes.
      remove_state(hash);
      continue;
    }
    Item& item = new_item(address);
    item.save_path = save_path;
    add_to_session(item, std::move(params));
  }
}

Item& Engine::Impl::new_item(const QvodAddress& address) {
  Item& item = items[address.hash];
  item.address = address;
  item.token = random_token();
  item.opened = Clock::now();
  tokens[item.token] = address.hash;
  return item;
}

void Engine::Impl::add_to_session(Item& item, lt::add_torrent_params params) {
  if (!params.ti) params.info_hashes.v1 = hash_from_hex(item.address.hash);
  params.save_path = item.save_path;
  params.name = item.address.name;
  params.url_seeds = web_seeds(item.address.name, item.web_seed_distrusted);
  params.trackers = trackers();
  params.flags &= ~(lt::torrent_flags::paused | lt::torrent_flags::auto_managed |
                    lt::torrent_flags::duplicate_is_error);
  if (!options.peers) params.flags |= lt::torrent_flags::disable_pex;
  lt::error_code ec;
  item.handle = session->add_torrent(std::move(params), ec);
  if (ec || !item.handle.is_valid()) {
    fail(item, words::kUnwritableFolder);
    return;
  }
  if (item.handle.torrent_file()) on_metadata(item);
}

void Engine::Impl::fail(Item& item, std::string_view error) {
  item.error = std::string(error);
  changed.notify_all();
}

void Engine::Impl::remove_state(const std::string& hash) const {
  std::error_code ec;
  for (const char* extension : {".item", ".torrent", ".resume"}) {
    fs::remove(state_path(hash, extension), ec);
  }
}

void Engine::Impl::mismatch(Item& item, std::shared_ptr<const lt::torrent_info> ti) {
  if (ti && ti->num_files() == 1) item.proven = std::move(ti);
  if (item.handle.is_valid()) session->remove_torrent(item.handle);
  item.handle = lt::torrent_handle();
  item.metadata = false;
  remove_state(item.address.hash);
  fail(item, words::kMetadataMismatch);
}

// The item's file is gone (its folder was removed): what was verified went with it. The folder
// is made again and the item added afresh with its metadata, or it is in error when the folder
// cannot be made.
void Engine::Impl::start_over(Item& item) {
  const auto ti = item.handle.torrent_file();
  session->remove_torrent(item.handle);
  item.handle = lt::torrent_handle();
  item.metadata = false;
  item.finished = false;
  item.startup_pieces.clear();
  item.ends_fetched = false;
  if (!ti || !folder_writable(item.save_path)) {
    fail(item, words::kUnwritableFolder);
    return;
  }
  lt::add_torrent_params params;
  params.ti = std::make_shared<lt::torrent_info>(*ti);
  params.flags |= lt::torrent_flags::upload_mode;
  add_to_session(item, std::move(params));
}

Item* Engine::Impl::by_handle(const lt::torrent_handle& handle) {
  if (!handle.is_valid()) return nullptr;
  const auto it = items.find(hex_of(handle.info_hashes().v1));
  return it == items.end() ? nullptr : &it->second;
}

void Engine::Impl::on_metadata(Item& item) {
  const auto ti = item.handle.torrent_file();
  if (!ti) return;
  if (ti->num_files() != 1 || static_cast<std::uint64_t>(ti->total_size()) != item.address.size) {
    mismatch(item, ti);
    return;
  }
  item.metadata = true;
  item.metadata_at = Clock::now();
  item.piece_length = ti->piece_length();
  item.num_pieces = ti->num_pieces();
  const lt::file_index_t first{0};
  if (ti->files().file_name(first) != item.address.name && item.role != Role::seed) {
    // The file is kept under the name its address gives it.
    item.handle.rename_file(first, item.address.name);
    item.file_path = item.save_path + "/" + item.address.name;
  } else {
    item.file_path = ti->files().file_path(first, item.save_path);
  }
  if (item.role != Role::seed) {
    const auto info = ti->info_section();
    state_folder::write_file(
        state_path(item.address.hash, ".torrent"),
        "d4:info" + std::string(info.data(), static_cast<std::size_t>(info.size())) + "e");
  }
  apply_role(item);
  changed.notify_all();
}

std::vector<lt::download_priority_t> Engine::Impl::priorities(Item& item, int num_pieces,
                                                              int piece_length) {
  if (item.role == Role::play && item.startup) {
    return startup_priorities(item, num_pieces, piece_length);
  }
  std::vector<lt::download_priority_t> priorities(static_cast<std::size_t>(num_pieces),
                                                  lt::default_priority);
  if (item.role == Role::next) {
    // Its ends alone first, then the rest: priorities alone do not order what the web seed
    // sends, as the library asks it for long runs of pieces around the one it picks.
    if (!item.ends_fetched && item.metadata) {
      item.ends_fetched = true;
      for (int i = 0; i < num_pieces; ++i) {
        if (is_end_piece(i, num_pieces) && !item.handle.have_piece(lt::piece_index_t{i})) {
          item.ends_fetched = false;
        }
      }
    }
    for (int i = 0; i < num_pieces; ++i) {
      priorities[static_cast<std::size_t>(i)] = is_end_piece(i, num_pieces) ? lt::top_priority
                                                : item.ends_fetched         ? lt::low_priority
                                                                            : lt::dont_download;
    }
  }
  return priorities;
}

int Engine::Impl::download_limit(const Item& item) const {
  int limit = options.download_limit > 0 ? options.download_limit : -1;
  if (item.role != Role::next) return limit;
  for (const auto& [hash, other] : items) {
    if (other.role == Role::play && other.error.empty() && other.handle.is_valid() &&
        !other.handle.status({}).is_seeding) {
      if (limit < 0 || limit > kNextRateWhilePlaying) limit = kNextRateWhilePlaying;
      break;
    }
  }
  return limit;
}

void Engine::Impl::apply_role(Item& item) {
  if (!item.metadata || !item.handle.is_valid() || item.role == Role::seed) return;
  item.handle.prioritize_pieces(priorities(item, item.num_pieces, item.piece_length));
  // Opened items ask for nothing until their priorities are set (see open()).
  item.handle.unset_flags(lt::torrent_flags::upload_mode);
  if (item.role == Role::play) {
    item.handle.set_flags(lt::torrent_flags::sequential_download);
  } else {
    item.handle.unset_flags(lt::torrent_flags::sequential_download);
  }
  item.handle.set_download_limit(download_limit(item));
}

void Engine::Impl::set_window(Item& item, int piece) {
  for (int i = 0; i < kWindowPieces && piece + i < item.num_pieces; ++i) {
    const int index = piece + i;
    if (item.startup && !item.startup_pieces.count(index)) {
      if (static_cast<int>(item.startup_pieces.size()) >= kStartupPieces) break;
      item.startup_pieces.insert(index);
      item.handle.piece_priority(lt::piece_index_t{index}, lt::top_priority);
    }
    item.handle.set_piece_deadline(lt::piece_index_t{index}, i * kDeadlineStepMs);
  }
}

// A starting item's priorities: only the pieces its readers' first reads need, the readers that
// asked before the metadata was known included.
std::vector<lt::download_priority_t> Engine::Impl::startup_priorities(Item& item, int num_pieces,
                                                                      int piece_length) {
  for (const auto& [id, reader] : item.readers) {
    if (!reader.offset || reader.piece >= 0) continue;
    const int first = static_cast<int>(*reader.offset / static_cast<std::uint64_t>(piece_length));
    for (int i = first; i < first + kWindowPieces && i < num_pieces &&
                        static_cast<int>(item.startup_pieces.size()) < kStartupPieces;
         ++i) {
      item.startup_pieces.insert(i);
    }
  }
  std::vector<lt::download_priority_t> priorities(static_cast<std::size_t>(num_pieces),
                                                  lt::dont_download);
  for (int piece : item.startup_pieces) {
    if (piece < num_pieces) priorities[static_cast<std::size_t>(piece)] = lt::top_priority;
  }
  return priorities;
}

void Engine::Impl::end_startup(Item& item) {
  if (!item.startup) return;
  item.startup = false;
  item.startup_pieces.clear();
  apply_role(item);
  for (const auto& [id, reader] : item.readers) {
    if (reader.piece >= 0) set_window(item, reader.piece);
  }
  changed.notify_all();
}

void Engine::Impl::aim(Item& item, int reader_id, int piece) {
  Reader& reader = item.readers[reader_id];
  if (reader.piece == piece) return;
  const bool jumped =
      reader.piece >= 0 && (piece < reader.piece || piece > reader.piece + kWindowPieces);
  reader.piece = piece;
  if (jumped) {
    // A seek: the old position's deadlines would only hold the new one up.
    item.handle.clear_piece_deadlines();
    for (const auto& [id, other] : item.readers) {
      if (other.piece >= 0) set_window(item, other.piece);
    }
  } else {
    set_window(item, piece);
  }
}

void Engine::Impl::run_alerts() {
  auto last_tick = Clock::now();
  for (;;) {
    bool resting = false;
    {
      std::lock_guard lock(mutex);
      if (stopping) return;
      resting = std::none_of(items.begin(), items.end(),
                             [](const auto& entry) { return looked_after(entry.second); });
    }
    // With nothing to look after, the engine waits for the library alone, a second at a time:
    // an item opened wakes it at once (the library announces it), and so does the end.
    session->wait_for_alert(resting ? lt::milliseconds(1000) : lt::milliseconds(100));
    std::vector<lt::alert*> alerts;
    session->pop_alerts(&alerts);
    std::lock_guard lock(mutex);
    for (lt::alert* alert : alerts) handle_alert(alert);
    if (Clock::now() - last_tick >= std::chrono::milliseconds(200)) {
      last_tick = Clock::now();
      tick();
    }
  }
}

void Engine::Impl::handle_alert(lt::alert* alert) {
  if (auto* a = lt::alert_cast<lt::piece_finished_alert>(alert)) {
    if (Item* item = by_handle(a->handle)) {
      item->got_payload = true;
      if (item->error == words::kNoSource) item->error.clear();
      if (item->role == Role::next && !item->ends_fetched &&
          is_end_piece(static_cast<int>(a->piece_index), item->num_pieces)) {
        apply_role(*item);  // the rest follows once the ends are all there
      }
    }
    changed.notify_all();
  } else if (auto* h = lt::alert_cast<lt::hash_failed_alert>(alert)) {
    if (Item* item = by_handle(h->handle); item && !item->web_seed_distrusted) {
      item->web_seed_distrusted = true;
      item->distrusted_at = Clock::now();
      for (const std::string& seed : web_seeds(item->address.name)) {
        item->handle.remove_url_seed(seed);
      }
    }
  } else if (auto* m = lt::alert_cast<lt::metadata_received_alert>(alert)) {
    if (Item* item = by_handle(m->handle)) on_metadata(*item);
  } else if (auto* f = lt::alert_cast<lt::file_error_alert>(alert)) {
    if (Item* item = by_handle(f->handle)) fail(*item, storage_error_word(f->error));
  } else if (auto* e = lt::alert_cast<lt::torrent_error_alert>(alert)) {
    if (Item* item = by_handle(e->handle)) {
      if (item->error.empty()) fail(*item, storage_error_word(e->error));
    }
  } else if (auto* saved = lt::alert_cast<lt::save_resume_data_alert>(alert)) {
    Item* item = by_handle(saved->handle);
    if (item && item->restarting) {
      // Taken out and added again from what it has verified: the session forgets which peers
      // it blamed together with the web seed, and the tracker names them again.
      lt::add_torrent_params params = saved->params;
      params.peers.clear();
      params.banned_peers.clear();
      session->remove_torrent(item->handle);
      item->restarting = false;
      item->metadata = false;
      item->finished = false;
      add_to_session(*item, std::move(params));
    }
  } else if (lt::alert_cast<lt::save_resume_data_failed_alert>(alert)) {
    for (auto& [hash, item] : items) item.restarting = false;
  } else if (auto* state = lt::alert_cast<lt::state_changed_alert>(alert)) {
    if (Item* item = by_handle(state->handle)) {
      // Seeding: the whole file is there. The library's "finished" counts only the pieces
      // wanted now, which a starting item limits to its first reads.
      item->finished = state->state == lt::torrent_status::seeding;
    }
  } else if (auto* r = lt::alert_cast<lt::file_renamed_alert>(alert)) {
    if (Item* item = by_handle(r->handle)) item->file_path = item->save_path + "/" + r->new_name();
  }
}

bool Engine::Impl::looked_after(const Item& item) {
  // A finished item that no one reads needs nothing more than a seed does.
  return item.error.empty() && item.handle.is_valid() && item.role != Role::seed &&
         !(item.finished && item.readers.empty());
}

void Engine::Impl::tick() {
  const auto now = Clock::now();
  for (auto& [hash, item] : items) {
    if (!looked_after(item)) continue;
    if (item.startup && item.metadata &&
        (item.startup_read ? now >= item.startup_until
                           : now - item.metadata_at >= kStartupUnread)) {
      end_startup(item);
    }
    if (item.metadata && file_gone(item.file_path) && item.handle.status({}).total_done > 0) {
      start_over(item);
      continue;
    }
    if (item.role == Role::next) item.handle.set_download_limit(download_limit(item));
    // Without peers nothing but the service can give the metadata: it is asked at once.
    const auto grace = options.peers ? options.metadata_grace : std::chrono::milliseconds(0);
    if (!item.metadata && !item.metadata_asked && now - item.opened >= grace) {
      item.metadata_asked = true;
      fetchers.emplace_back(
          [this, h = hash, url = options.service_url] { fetch_metadata(h, url); });
    }
    if (item.web_seed_distrusted && !item.restarting && item.metadata &&
        now - item.distrusted_at > std::chrono::seconds(1)) {
      const lt::torrent_status status = item.handle.status({});
      if (!status.is_seeding && status.num_peers == 0 && options.peers) {
        item.restarting = true;
        item.distrusted_at = now;
        item.handle.save_resume_data(lt::torrent_handle::save_info_dict);
      }
    }
    if (now - item.opened < options.source_timeout) continue;
    if (!item.metadata) {
      fail(item, words::kNoSource);
    } else if (!item.got_payload) {
      const lt::torrent_status status = item.handle.status({});
      if (status.is_seeding) continue;
      if (status.total_payload_download > 0) {
        item.got_payload = true;
      } else if (status.total_done == 0) {
        fail(item, words::kNoSource);
      }
    }
  }
}

void Engine::Impl::fetch_metadata(std::string hash, std::string service_url) {
  const ServiceParts service = split_service(service_url);
  std::string body;
  bool fetched = false;
  {
    httplib::Client client(service.host_port);
    client.set_connection_timeout(std::chrono::seconds(3));
    client.set_read_timeout(std::chrono::seconds(10));
    if (auto res = client.Get(service.path + "torrents/" + hash + ".torrent");
        res && res->status == 200) {
      body = res->body;
      fetched = true;
    }
  }
  std::lock_guard lock(mutex);
  const auto it = items.find(hash);
  if (it == items.end() || stopping) return;
  Item& item = it->second;
  if (item.metadata || !item.handle.is_valid()) return;
  if (!fetched) {
    item.metadata_failed = true;
    return;
  }
  lt::error_code ec;
  lt::torrent_info ti({body.data(), static_cast<std::ptrdiff_t>(body.size())}, ec, lt::from_span);
  if (ec || hex_of(ti.info_hashes().v1) != hash) {
    // The service named a torrent whose content is not the one asked for.
    item.handle.pause();
    fail(item, words::kMetadataMismatch);
    return;
  }
  if (item.role != Role::seed) {
    // Added again with the metadata and its priorities together: set on the item as it is, the
    // metadata would let the web seed be asked for megabytes of the library's own choosing before
    // any priority of ours applies (a starting item's first reads, a prepared one's ends).
    lt::add_torrent_params params;
    params.piece_priorities = priorities(item, ti.num_pieces(), ti.piece_length());
    if (item.role == Role::play) params.flags |= lt::torrent_flags::sequential_download;
    params.download_limit = download_limit(item);
    params.ti = std::make_shared<lt::torrent_info>(std::move(ti));
    session->remove_torrent(item.handle);
    add_to_session(item, std::move(params));
    return;
  }
  item.handle.set_metadata(ti.info_section());
}

void Engine::stop() {
  Impl& d = *impl_;
  {
    std::lock_guard lock(d.mutex);
    if (d.stopped) return;
    d.stopped = true;
    d.stopping = true;
  }
  d.changed.notify_all();
  // An alert of its own wakes the alert thread from a rest's long wait.
  if (d.session) d.session->post_session_stats();
  if (d.alert_thread.joinable()) d.alert_thread.join();
  for (std::thread& fetcher : d.fetchers) fetcher.join();
  if (!d.session) return;

  int outstanding = 0;
  for (auto& [hash, item] : d.items) {
    if (item.role == Role::seed || !item.metadata || !item.handle.is_valid()) continue;
    item.handle.save_resume_data(lt::torrent_handle::flush_disk_cache |
                                 lt::torrent_handle::save_info_dict);
    ++outstanding;
  }
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (outstanding > 0 && Clock::now() < deadline) {
    d.session->wait_for_alert(lt::milliseconds(200));
    std::vector<lt::alert*> alerts;
    d.session->pop_alerts(&alerts);
    for (lt::alert* alert : alerts) {
      if (auto* saved = lt::alert_cast<lt::save_resume_data_alert>(alert)) {
        const std::vector<char> bytes = lt::write_resume_data_buf(saved->params);
        state_folder::write_file(d.state_path(hex_of(saved->handle.info_hashes().v1), ".resume"),
                                 std::string_view(bytes.data(), bytes.size()));
        --outstanding;
      } else if (lt::alert_cast<lt::save_resume_data_failed_alert>(alert)) {
        --outstanding;
      }
    }
  }
  d.session.reset();
}

Opened Engine::open(const QvodAddress& address, Role role) {
  Impl& d = *impl_;
  std::lock_guard lock(d.mutex);
  const auto found = d.items.find(address.hash);
  if (found != d.items.end()) {
    // What the metadata proves is not given up for an address that contradicts it.
    const Item& known = found->second;
    const std::uint64_t proven = known.proven
                                     ? static_cast<std::uint64_t>(known.proven->total_size())
                                 : known.metadata ? known.address.size
                                                  : 0;
    if (proven != 0 && proven != address.size) return {{}, std::string(words::kMetadataMismatch)};
  }
  if (role == Role::play) {
    for (auto& [hash, other] : d.items) {
      if (other.role == Role::play && hash != address.hash) {
        other.role = Role::background;
        d.apply_role(other);
      }
    }
  }
  if (found != d.items.end()) {
    Item& item = found->second;
    if (item.role != Role::seed && !(item.role == Role::play && role == Role::next)) {
      item.role = role;
    }
    if (item.proven) {
      // Refused before for a wrong size; this address has the size its metadata proves.
      item.address = address;
      item.error.clear();
      item.opened = Clock::now();
      item.startup = item.role == Role::play && d.options.startup_time.count() > 0;
      d.save_item_file(item);
      lt::add_torrent_params params;
      params.ti = std::make_shared<lt::torrent_info>(*item.proven);
      params.flags |= lt::torrent_flags::upload_mode;
      item.proven.reset();
      d.add_to_session(item, std::move(params));
      return {item.token, {}};
    }
    if (!item.metadata && item.address.size != address.size) {
      // Neither size is proven yet: the latest open's is the one the metadata will be held to.
      item.address.size = address.size;
      d.save_item_file(item);
    }
    if (item.role != Role::play && item.startup) d.end_startup(item);
    // A finished item that no one read was not watched: its file may have gone meanwhile.
    if (item.finished && item.handle.is_valid() && file_gone(item.file_path)) d.start_over(item);
    if (item.error == words::kNoSource || item.error == words::kMetadataMismatch) {
      // Asked again: look for sources (and metadata) afresh.
      item.error.clear();
      item.opened = Clock::now();
      item.metadata_asked = item.metadata_failed = false;
      if (item.handle.is_valid()) item.handle.resume();
    }
    d.apply_role(item);
    return {item.token, {}};
  }
  Item& item = d.new_item(address);
  item.role = role;
  item.startup = role == Role::play && d.options.startup_time.count() > 0;
  item.save_path = d.options.download_folder;
  if (!folder_writable(item.save_path)) {
    d.fail(item, words::kUnwritableFolder);
    return {item.token, {}};
  }
  d.save_item_file(item);
  lt::add_torrent_params params;
  // It asks for nothing until its priorities are set (apply_role): when the metadata comes from
  // peers, the web seed would otherwise be asked for megabytes of the library's own choosing
  // first (not a starting item's first reads, not a prepared one's ends).
  params.flags |= lt::torrent_flags::upload_mode;
  d.add_to_session(item, std::move(params));
  if (!d.options.peers && !item.metadata && item.error.empty()) {
    // Without peers only the service can give the metadata: it is asked at once.
    item.metadata_asked = true;
    d.fetchers.emplace_back(
        [&d, h = address.hash, url = d.options.service_url] { d.fetch_metadata(h, url); });
  }
  return {item.token, {}};
}

std::optional<ItemStatus> Engine::status(const std::string& hash) {
  Impl& d = *impl_;
  std::lock_guard lock(d.mutex);
  const auto it = d.items.find(hash);
  if (it == d.items.end()) return std::nullopt;
  const Item& item = it->second;
  ItemStatus out;
  lt::torrent_status st;
  if (item.handle.is_valid()) st = item.handle.status({});
  if (item.metadata) {
    out.permille = static_cast<int>(std::min<std::uint64_t>(
        1000, static_cast<std::uint64_t>(st.total_done) * 1000 / item.address.size));
  }
  out.rate = st.download_payload_rate / 1024;
  out.downloaded = st.total_payload_download;
  out.peers = st.num_peers;
  using words::ItemState;
  const auto word = [](ItemState state) { return std::string(words::state_word(state)); };
  if (!item.error.empty()) {
    out.state = word(ItemState::error);
    out.error = item.error;
    out.rate = 0;
  } else if (!item.metadata) {
    out.state =
        word(st.num_peers > 0 || item.metadata_asked ? ItemState::metadata : ItemState::connecting);
  } else if (static_cast<std::uint64_t>(st.total_done) >= item.address.size) {
    out.state = word(ItemState::finished);
  } else if (std::any_of(item.readers.begin(), item.readers.end(),
                         [](const auto& r) { return r.second.waiting; })) {
    out.state = word(ItemState::buffering);
  } else if (st.num_peers == 0 && st.total_done == 0) {
    out.state = word(ItemState::connecting);
  } else {
    out.state = word(ItemState::downloading);
  }
  return out;
}

bool Engine::close(const std::string& hash) {
  Impl& d = *impl_;
  std::lock_guard lock(d.mutex);
  const auto it = d.items.find(hash);
  if (it == d.items.end()) return false;
  if (it->second.role != Role::seed) {
    it->second.role = Role::background;
    // Its start is over: played again, it goes on from what it has.
    it->second.startup = false;
    it->second.startup_pieces.clear();
    d.apply_role(it->second);
  }
  return true;
}

int Engine::seed_folder(const std::string& folder) {
  Impl& d = *impl_;
  std::error_code ec;
  std::vector<std::pair<torrent::MadeTorrent, std::string>> made;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    if (!entry.is_regular_file(ec)) continue;
    const std::string name = entry.path().filename().string();
    if (auto torrent = torrent::make_torrent(entry.path(), name)) {
      made.emplace_back(std::move(*torrent), name);
    }
  }
  std::lock_guard lock(d.mutex);
  if (d.stopping) return 0;
  int shared = 0;
  for (auto& [torrent, name] : made) {
    if (d.items.count(torrent.info_hash)) {
      ++shared;
      continue;
    }
    QvodAddress address{torrent.size, torrent.info_hash, name};
    Item& item = d.new_item(address);
    item.role = Role::seed;
    item.save_path = fs::absolute(folder, ec).string();
    lt::add_torrent_params params;
    lt::error_code error;
    params.ti = std::make_shared<lt::torrent_info>(
        lt::span<const char>(torrent.torrent.data(),
                             static_cast<std::ptrdiff_t>(torrent.torrent.size())),
        error, lt::from_span);
    if (error) continue;
    params.flags |= lt::torrent_flags::seed_mode;
    d.add_to_session(item, std::move(params));
    if (item.error.empty()) ++shared;
  }
  return shared;
}

void Engine::set_service_url(const std::string& url) {
  Impl& d = *impl_;
  std::lock_guard lock(d.mutex);
  if (url.empty() || url == d.options.service_url) return;
  d.options.service_url = url.back() == '/' ? url : url + "/";
  for (auto& [hash, item] : d.items) {
    if (!item.handle.is_valid()) continue;
    if (!item.web_seed_distrusted) {
      for (const std::string& seed : d.web_seeds(item.address.name)) item.handle.add_url_seed(seed);
    }
    for (const std::string& tracker : d.trackers())
      item.handle.add_tracker(lt::announce_entry(tracker));
  }
}

std::optional<StreamTarget> Engine::stream_target(const std::string& token) {
  Impl& d = *impl_;
  std::lock_guard lock(d.mutex);
  const auto it = d.tokens.find(token);
  if (it == d.tokens.end()) return std::nullopt;
  const Item& item = d.items.at(it->second);
  return StreamTarget{item.address.hash, item.address.name, item.address.size};
}

int Engine::add_reader(const std::string& hash) {
  Impl& d = *impl_;
  std::lock_guard lock(d.mutex);
  const int id = d.next_reader++;
  if (const auto it = d.items.find(hash); it != d.items.end()) it->second.readers[id] = Reader{};
  return id;
}

void Engine::remove_reader(const std::string& hash, int reader) {
  Impl& d = *impl_;
  std::lock_guard lock(d.mutex);
  if (const auto it = d.items.find(hash); it != d.items.end()) it->second.readers.erase(reader);
}

Readable Engine::wait_readable(const std::string& hash, int reader, std::uint64_t offset,
                               std::uint64_t wanted, const std::function<bool()>& keep_waiting) {
  Impl& d = *impl_;
  std::unique_lock lock(d.mutex);
  for (;;) {
    if (d.stopping) return {};
    const auto it = d.items.find(hash);
    if (it == d.items.end()) return {};
    Item& item = it->second;
    if (offset >= item.address.size) return {};
    const bool failed = !item.error.empty();
    Reader& me = item.readers[reader];
    me.offset = offset;
    if (item.metadata && item.handle.is_valid()) {
      const auto piece_length = static_cast<std::uint64_t>(item.piece_length);
      const int piece = static_cast<int>(offset / piece_length);
      if (!failed) {
        if (item.startup && !item.startup_read) {
          item.startup_read = true;
          item.startup_until = Clock::now() + d.options.startup_time;
        } else if (item.startup && Clock::now() >= item.startup_until) {
          d.end_startup(item);
        }
        d.aim(item, reader, piece);
      }
      if (item.handle.have_piece(lt::piece_index_t{piece})) {
        // Every whole verified piece that follows may go out in the same answer.
        std::uint64_t end = (static_cast<std::uint64_t>(piece) + 1) * piece_length;
        while (end < item.address.size && end - offset < wanted &&
               item.handle.have_piece(lt::piece_index_t{static_cast<int>(end / piece_length)})) {
          end += piece_length;
        }
        end = std::min(end, item.address.size);
        me.waiting = false;
        return Readable{item.file_path, std::min(end - offset, wanted), {}};
      }
    }
    if (failed) {
      me.waiting = false;
      return Readable{{}, 0, item.error};
    }
    me.waiting = true;
    d.changed.wait_for(lock, std::chrono::milliseconds(200));
    if (!keep_waiting()) {
      if (const auto again = d.items.find(hash); again != d.items.end()) {
        again->second.readers[reader].waiting = false;
      }
      return {};
    }
  }
}

}  // namespace pelmora::engine
