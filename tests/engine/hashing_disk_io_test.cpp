// The terminal's disk input and output on real files: the hash of a piece taken as its blocks
// are written is the hash of what the file holds, whatever order or content the blocks came in.
#include <gtest/gtest.h>
#include <libtorrent/aux_/vector.hpp>
#include <libtorrent/disk_buffer_holder.hpp>
#include <libtorrent/disk_interface.hpp>
#include <libtorrent/file_storage.hpp>
#include <libtorrent/hasher.hpp>
#include <libtorrent/io_context.hpp>
#include <libtorrent/peer_request.hpp>
#include <libtorrent/performance_counters.hpp>
#include <libtorrent/settings_pack.hpp>
#include <libtorrent/storage_defs.hpp>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include "hashing_disk_io.h"
#include "support/temp_folder.h"

namespace pelmora::testing {
namespace {

constexpr int kBlock = lt::default_block_size;
constexpr int kPiece = 4 * kBlock;
constexpr int kSize = 2 * kPiece + kBlock + 100;  // two whole pieces and a short last one

class HashingDiskIo : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < kSize; ++i) content_.push_back(static_cast<char>((i * 131 + i / 7) & 0xff));
    files_.set_piece_length(kPiece);
    files_.add_file("item.bin", kSize);
    files_.set_num_pieces((kSize + kPiece - 1) / kPiece);
    pack_.set_int(lt::settings_pack::aio_threads, 2);
    pack_.set_int(lt::settings_pack::disk_write_mode, lt::settings_pack::always_pwrite);
    disk_ = engine::hashing_disk_io_constructor(ios_, pack_, counters_);
    const std::string path = folder_.path();
    const lt::storage_params params(files_, nullptr, path, lt::storage_mode_sparse, priorities_,
                                    lt::sha1_hash());
    storage_ = disk_->new_torrent(params, owner_);
  }

  void TearDown() override {
    storage_.reset();
    disk_->abort(true);
  }

  // Writes block `block` of `piece` with `bytes` (the item's own bytes when none are given).
  void write(int piece, int block, std::optional<std::vector<char>> bytes = std::nullopt) {
    lt::peer_request r;
    r.piece = lt::piece_index_t(piece);
    r.start = block * kBlock;
    r.length = std::min(kBlock, piece_size(piece) - r.start);
    const std::vector<char> own(content_.begin() + piece * kPiece + r.start,
                                content_.begin() + piece * kPiece + r.start + r.length);
    const std::vector<char>& data = bytes ? *bytes : own;
    disk_->async_write(storage_, r, data.data(), nullptr, [this](lt::storage_error const& e) {
      if (e) ++failed_writes_;
    });
  }

  // Asks for the hash of `piece` and waits for it. `file_at_answer` receives the piece's bytes as
  // the file holds them when the answer comes.
  lt::sha1_hash hash(int piece, std::vector<char>* file_at_answer = nullptr) {
    std::optional<lt::sha1_hash> answer;
    disk_->async_hash(
        storage_, lt::piece_index_t(piece), {}, lt::disk_interface::v1_hash,
        [&](lt::piece_index_t, lt::sha1_hash const& digest, lt::storage_error const&) {
          answer = digest;
          if (file_at_answer != nullptr) *file_at_answer = file_bytes(piece);
        });
    disk_->submit_jobs();
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!answer && std::chrono::steady_clock::now() < give_up) {
      ios_.run_for(std::chrono::milliseconds(5));
      ios_.restart();
    }
    EXPECT_TRUE(answer.has_value()) << "no hash for piece " << piece;
    return answer.value_or(lt::sha1_hash());
  }

  // Reads block `block` of `piece` as a peer would be sent it; nothing when the read fails.
  std::optional<std::vector<char>> read(int piece, int block) {
    lt::peer_request r;
    r.piece = lt::piece_index_t(piece);
    r.start = block * kBlock;
    r.length = std::min(kBlock, piece_size(piece) - r.start);
    bool done = false;
    std::optional<std::vector<char>> bytes;
    disk_->async_read(storage_, r, [&](lt::disk_buffer_holder buffer, lt::storage_error const& e) {
      done = true;
      if (!e) bytes.emplace(buffer.data(), buffer.data() + r.length);
    });
    disk_->submit_jobs();
    run_until(done);
    return bytes;
  }

  void run_until(const bool& done) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done && std::chrono::steady_clock::now() < give_up) {
      ios_.run_for(std::chrono::milliseconds(5));
      ios_.restart();
    }
    EXPECT_TRUE(done);
  }

  std::vector<char> own_block(int piece, int block) const {
    const int start = piece * kPiece + block * kBlock;
    const int length = std::min(kBlock, piece_size(piece) - block * kBlock);
    return {content_.begin() + start, content_.begin() + start + length};
  }

  void clear(int piece) {
    bool cleared = false;
    disk_->async_clear_piece(storage_, lt::piece_index_t(piece),
                             [&](lt::piece_index_t) { cleared = true; });
    disk_->submit_jobs();
    run_until(cleared);
  }

  int piece_size(int piece) const { return std::min(kPiece, kSize - piece * kPiece); }
  std::vector<char> own_bytes(int piece) const {
    return {content_.begin() + piece * kPiece,
            content_.begin() + piece * kPiece + piece_size(piece)};
  }
  lt::sha1_hash true_hash(int piece) const {
    const std::vector<char> bytes = own_bytes(piece);
    return lt::hasher(bytes.data(), static_cast<int>(bytes.size())).final();
  }
  std::vector<char> file_bytes(int piece) const {
    std::ifstream in(folder_.path() + "/item.bin", std::ios::binary);
    std::vector<char> bytes(static_cast<std::size_t>(piece_size(piece)));
    in.seekg(piece * kPiece);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
  }

  TempFolder folder_;
  std::vector<char> content_;
  lt::file_storage files_;
  lt::aux::vector<lt::download_priority_t, lt::file_index_t> priorities_;
  lt::settings_pack pack_;
  lt::counters counters_;
  lt::io_context ios_;
  std::shared_ptr<int> owner_ = std::make_shared<int>(0);
  std::unique_ptr<lt::disk_interface> disk_;
  lt::storage_holder storage_;
  int failed_writes_ = 0;
};

// Blocks in order are hashed as they come; the answer waits for the writes, so a piece that has
// passed can be read from the file at once. Blocks out of order, and the short last piece, give
// the same hashes.
TEST_F(HashingDiskIo, AnswersTheHashOfWhatTheFileHoldsInAnyOrder) {
  for (int block = 0; block < 4; ++block) write(0, block);
  std::vector<char> file_at_answer;
  EXPECT_EQ(hash(0, &file_at_answer), true_hash(0));
  EXPECT_EQ(file_at_answer, own_bytes(0));

  for (const int block : {2, 0, 3, 1}) write(1, block);
  EXPECT_EQ(hash(1), true_hash(1));

  for (int block = 0; block < 2; ++block) write(2, block);
  EXPECT_EQ(hash(2, &file_at_answer), true_hash(2));
  EXPECT_EQ(file_at_answer, own_bytes(2));
  EXPECT_EQ(failed_writes_, 0);
}

// A wrong block gives a wrong hash; once the piece is cleared and written again with the right
// bytes, its hash is right, in order or not.
TEST_F(HashingDiskIo, AWrongBlockFailsAndTheRewrittenPiecePasses) {
  std::vector<char> wrong(kBlock, 'x');
  write(0, 0);
  write(0, 1, wrong);
  write(0, 2);
  write(0, 3);
  EXPECT_NE(hash(0), true_hash(0));
  clear(0);
  for (int block = 0; block < 4; ++block) write(0, block);
  EXPECT_EQ(hash(0), true_hash(0));

  // A piece of which only later blocks are written again (as after a restart that kept the
  // first ones) is read back whole.
  write(1, 0, wrong);
  for (int block = 1; block < 4; ++block) write(1, block);
  EXPECT_NE(hash(1), true_hash(1));
  clear(1);
  write(1, 0);
  EXPECT_EQ(hash(1), true_hash(1));
}

// What peers are sent is read from the file under its current name, and blocks that come while
// the file is renamed are written under its new name; a file cut short under a stopped item gives
// a failed read, not bytes of nothing.
TEST_F(HashingDiskIo, ReadsWhatTheFileHoldsUnderItsCurrentName) {
  for (int piece = 0; piece < 2; ++piece) {
    for (int block = 0; block < 4; ++block) write(piece, block);
    EXPECT_EQ(hash(piece), true_hash(piece));
  }
  EXPECT_EQ(read(0, 1), own_block(0, 1));

  bool renamed = false;
  disk_->async_rename_file(storage_, lt::file_index_t(0), "renamed.bin",
                           [&](std::string const&, lt::file_index_t, lt::storage_error const& e) {
                             renamed = true;
                             EXPECT_FALSE(e) << e.ec.message();
                           });
  for (int block = 0; block * kBlock < piece_size(2); ++block) write(2, block);
  disk_->submit_jobs();
  run_until(renamed);
  EXPECT_EQ(hash(2), true_hash(2));
  EXPECT_FALSE(std::filesystem::exists(folder_.file("item.bin")));
  EXPECT_EQ(read(1, 3), own_block(1, 3));
  EXPECT_EQ(read(2, 1), own_block(2, 1));  // the short end of the last piece
  EXPECT_EQ(failed_writes_, 0);

  // Once the item lets go of its files (as when it stops), a file put in its place is read anew.
  bool released = false;
  disk_->async_release_files(storage_, [&] { released = true; });
  disk_->submit_jobs();
  run_until(released);
  std::filesystem::remove(folder_.file("renamed.bin"));
  std::ofstream(folder_.file("renamed.bin")) << "short";
  EXPECT_EQ(read(1, 2), std::nullopt);
}

}  // namespace
}  // namespace pelmora::testing
