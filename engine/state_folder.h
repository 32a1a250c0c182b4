#pragma once

#include <string>
#include <string_view>

// The terminal's state folder ("engine-state" in the player's folder): what it knows of each item
// across restarts (its address, metadata and resume data). Nobody but the user may read it: the
// folder is 0700 and its files 0600.
namespace pelmora::engine::state_folder {

// Makes `folder` (0700), or makes one left by an earlier terminal private: the folder and the
// regular files in it, when they are the user's own. False when the folder cannot be made.
bool keep_private(const std::string& folder);

// Replaces the file at `path` with `bytes` (0600, written to a temporary file and renamed).
bool write_file(const std::string& path, std::string_view bytes);

}  // namespace pelmora::engine::state_folder
