#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Whole-file operations on local files. Every file the program keeps is read whole and
// rewritten whole within one handler; nothing stays open between events.
namespace pelmora::platform::files {

// "folder" + "/" + "name", without doubling a "/" that `folder` already ends in.
std::string join(std::string_view folder, std::string_view name);

bool exists(const std::string& path);  // a file or folder is there
bool is_regular_file(const std::string& path);
bool is_directory(const std::string& path);

// What tells one version of a file from another without reading it: its identity, size and
// time of last change. Equal stamps mean the file was not replaced or written in between.
struct Stamp {
  unsigned long long device = 0, inode = 0;
  long long size = -1;
  long long changed_ns = 0;
  bool operator==(const Stamp&) const = default;
};
// The file's stamp; a missing file has the default stamp.
Stamp stamp(const std::string& path);

// The whole content, or nothing when the file cannot be opened or read.
std::optional<std::string> read(const std::string& path);

// Replaces the file with `content`: writes a temporary file beside it ("NAME.tmp-PID-N"),
// flushes it to disk, renames it over the old one and flushes the folder, so that after a crash
// or power cut the file holds the old or the new text, never half of either. On failure
// (read-only folder, full disk) the old file is left as it was, the temporary file is removed
// and the result is false. A replaced file keeps its owner's permissions and loses any that group
// or others had; a new one is private to the user (0600).
bool write_atomic(const std::string& path, std::string_view content);

// Removes the temporary files of write_atomic that a process which has ended left in `folder`
// (it was killed between writing and renaming). Those of running processes stay. The count
// removed.
int remove_orphan_temporaries(const std::string& folder);

bool remove(const std::string& path);  // true when the file is gone afterwards

// Names of the ordinary files of a folder whose names do not begin with "." (hidden), in the
// order the file system returns them. Empty for a missing or unreadable folder.
std::vector<std::string> list_regular_files(const std::string& folder);

// Those of them that match the wildcard `pattern` (text::wildcard_match). True when at least one
// matched; then `names` holds exactly those. False otherwise, with `names` left as it was.
bool list_folder(std::string_view folder, std::string_view pattern,
                 std::vector<std::string>& names);

// True when the folder exists and the current user may create files in it.
bool is_writable_directory(const std::string& folder);

// Takes group and other permissions away from `folder` and from the files and folders `names` in
// it (not what those folders hold), where they belong to the current user (symbolic links are
// left alone), so that what the program keeps there is the user's alone. A folder that all may
// write in (sticky, like /tmp), the root and the home folder are left as they are. The count of the
// folders and files changed.
int make_private(const std::string& folder, const std::vector<std::string>& names);

// Creates the folder and any missing parents; the folders it creates are private to the user
// (0700). True when the folder exists afterwards.
bool make_directories(const std::string& folder);

}  // namespace pelmora::platform::files
