#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The two history lists kept beside the program: "date.dat" (network tasks, seven fields) and
// "date_f.dat" (local files, three fields), one record per line, fields joined by "|", newest
// first. Records are addressed by their physical line number, counted from 1 over all lines.
// Nothing is cached: every operation reads and rewrites the file within the call.
namespace pelmora::lists {

inline constexpr std::string_view kNetworkList = "date.dat";
inline constexpr std::string_view kLocalList = "date_f.dat";
inline constexpr std::string_view kNetworkPage = "c.htm";
inline constexpr std::string_view kLocalPage = "f.htm";

// Shows a freshly rendered list page: the main window navigates the network list pane to the
// page of "date.dat" and the local list pane to the page of "date_f.dat".
class ListPageView {
 public:
  virtual ~ListPageView() = default;
  virtual void show_list_page(std::string_view list_file, const std::string& page_path) = 0;
  // A change of a list could not be written (a full disk, a read-only folder): the old list is
  // whole, and the change waits in the place's backlog, when it has one.
  virtual void list_not_saved() {}
  // Every change that waited has been written since.
  virtual void lists_saved() {}
};

class Backlog;

// Where the lists live and who shows their pages. `view` may be null (nothing is shown);
// `backlog`, when given, keeps the changes that could not be written until they can be.
struct ListPlace {
  std::string folder;
  ListPageView* view = nullptr;
  Backlog* backlog = nullptr;
};

// The changes of the lists that could not be written yet, oldest first: new records and
// positions (written again as a whole, they come out the same however often they are tried),
// and pages to render again. While any waits, later changes wait behind it, so that the lists
// never take a change before an earlier one.
class Backlog {
 public:
  using Change = std::function<bool(const ListPlace&)>;  // false: not written
  bool empty() const { return changes_.empty(); }
  std::size_t size() const { return changes_.size(); }
  // Writes the waiting changes in order until one fails; true when none waits any more (the
  // place's view then hears that the lists are saved).
  bool retry(const ListPlace& place);
  void hold(Change change) { changes_.push_back(std::move(change)); }

 private:
  std::vector<Change> changes_;
};

// The page that belongs to a list: "c.htm" for "date.dat", "f.htm" for any other list.
std::string_view page_for(std::string_view list_file);

// A new network task at the top of "date.dat"; older records with the same identifier go, at
// most the first 100 existing lines are kept, the page is rendered. `name`, `label` and
// `address` are stored as given (escaped text). False, with nothing written, when the list file
// is missing or unreadable, or when a text field holds "|" or a line break (such an entry would
// corrupt the list, so it is played but not recorded).
bool add_task(const ListPlace& place, std::int64_t id, std::string_view name,
              std::string_view label, std::string_view address, std::int64_t v, std::int64_t v1,
              std::int64_t position);

// A new local file at the top of "date_f.dat"; an older record with the same path (exact,
// case-sensitive) goes. Same limits and refusals as add_task.
bool add_local(const ListPlace& place, std::string_view display_name, std::string_view path,
               std::int64_t position);

// The position field of every network task with this identifier. Lines that are not records
// are dropped by the rewrite, which renumbers the records, so the page is rendered too.
bool set_task_pos(const ListPlace& place, std::int64_t id, std::int64_t position);

// The position field of every local record with exactly this path; the page is rendered.
bool set_local_pos(const ListPlace& place, std::string_view path, std::int64_t position);

// Removes physical line `line` (counted from 1) of the list and renders its page.
bool remove_line(const ListPlace& place, std::string_view list_file, std::int64_t line);

// Rewrites an existing list as one empty line and renders its page; a missing list is left
// missing.
bool clear_list(const ListPlace& place, std::string_view list_file);

// Creates the list as one empty line (CR LF) when it does not exist; an existing list is left
// untouched.
bool ensure_list(const std::string& folder, std::string_view list_file);

}  // namespace pelmora::lists
