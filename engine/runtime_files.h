#pragma once

#include <optional>
#include <string>

// Where a user's one terminal announces itself: the lock that makes it the only one and the
// endpoint file that tells the program (and a second start) its control address.
namespace pelmora::engine::runtime {

// $XDG_RUNTIME_DIR when it is an absolute path to a folder, else a private folder
// "$TMPDIR/pelmora-engine-UID" (or under /tmp) made 0700 and refused unless it is a folder of
// ours that nobody else can enter. Empty when neither is usable.
std::string runtime_folder();

// Takes the exclusive lock "pelmora-engine.lock" in `folder` for the life of the process.
// Returns the descriptor, or nothing when another process holds it (or the file cannot be made).
std::optional<int> take_lock(const std::string& folder);

std::string endpoint_path(const std::string& folder);

// Writes the endpoint line (mode 0600, replaced through a rename). False on failure.
bool write_endpoint(const std::string& folder, const std::string& base_url);

// The control base address in the endpoint file, empty when there is none.
std::string read_endpoint(const std::string& folder);

void remove_endpoint(const std::string& folder);

}  // namespace pelmora::engine::runtime
