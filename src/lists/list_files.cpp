#include "lists/list_files.h"

#include <optional>
#include <string>
#include <vector>

#include "lists/list_lines.h"
#include "lists/list_pages.h"
#include "platform/files.h"
#include "util/text_helpers.h"

namespace pelmora::lists {

namespace {

namespace files = platform::files;
using detail::is_record;
using detail::split_fields;
using text::split_lines;

constexpr std::string_view kLineEnd = "\r\n";

// An add keeps at most this many lines of the old list, so a list holds at most one more record
// than this right after an add.
constexpr std::size_t kAddReadLimit = 100;

// Network task fields: the identifier and the last playback position.
constexpr std::size_t kTaskIdField = 0;
constexpr std::size_t kTaskPosField = 6;
// Local file fields: the full path and the last playback position.
constexpr std::size_t kLocalPathField = 1;
constexpr std::size_t kLocalPosField = 2;

// A text that would end a field or a line early. Such an entry cannot be stored without turning
// the list into something else, so it is not recorded at all.
bool storable(std::string_view field) {
  return field.find_first_of("|\r\n") == std::string_view::npos;
}

std::optional<std::string> read_list(const ListPlace& place, std::string_view list_file) {
  return files::read(files::join(place.folder, list_file));
}

void append_joined(std::string& out, const std::vector<std::string_view>& fields) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out += '|';
    out += fields[i];
  }
}

bool is_task_id(std::string_view field, std::int64_t id) {
  std::int64_t value = 0;
  return text::parse_whole(field, value) && value == id;
}

// What became of a change of a list.
enum class Outcome {
  kWritten,
  kNothing,  // nothing to change: the list is missing or unreadable, or the entry is refused
  kFailed,   // the list could not be written (a full disk, a read-only folder); it is as it was
};
using Step = std::function<Outcome(const ListPlace&)>;

void tell_not_saved(const ListPlace& place) {
  if (place.view != nullptr) place.view->list_not_saved();
}

// Writes the list anew and renders its page. A failed list write leaves the old list and its
// old page; a page that could not be written after its list was waits to be rendered again.
Outcome store_and_render(const ListPlace& place, std::string_view list_file,
                         std::string_view content) {
  if (!files::write_atomic(files::join(place.folder, list_file), content)) return Outcome::kFailed;
  if (!render_list(place, list_file)) {
    if (place.backlog != nullptr) {
      // A list that has gone meanwhile has no page to render (start-up makes both anew).
      place.backlog->hold([name = std::string(list_file)](const ListPlace& later) {
        return render_list(later, name) || !files::exists(files::join(later.folder, name));
      });
    }
    tell_not_saved(place);
  }
  return Outcome::kWritten;
}

Outcome remove_step(const ListPlace& place, std::string_view list_file, std::int64_t line);

// Makes one change of the lists, after those that wait. A change that can be made again later
// with the same result (a record, a position) waits in the backlog when it cannot be written now;
// one that names a line (a removal, a clearing) cannot, since the lines may move meanwhile.
bool change(const ListPlace& place, const Step& step, bool may_wait) {
  Backlog* backlog = place.backlog;
  const auto wait = [&] {
    if (backlog != nullptr && may_wait) {
      backlog->hold([step](const ListPlace& later) { return step(later) != Outcome::kFailed; });
    }
    tell_not_saved(place);
  };
  if (backlog != nullptr && !backlog->empty() && !backlog->retry(place)) {
    wait();
    return false;
  }
  const Outcome outcome = step(place);
  if (outcome == Outcome::kFailed) wait();
  return outcome == Outcome::kWritten;
}

// Puts `record` at the top of the list, followed by the first lines of the old list that are
// records and not older copies of the same entry.
template <typename IsOlderCopy>
Outcome add_record(const ListPlace& place, std::string_view list_file, const std::string& record,
                   IsOlderCopy is_older_copy, bool blank_line_always) {
  const auto old = read_list(place, list_file);
  if (!old) return Outcome::kNothing;
  std::string content = record;
  content += kLineEnd;
  bool kept_any = false;
  for (const std::string_view line : split_lines(*old, kAddReadLimit)) {
    if (!is_record(line) || is_older_copy(split_fields(line))) continue;
    content += line;
    content += kLineEnd;
    kept_any = true;
  }
  // The network list always ends with an empty line; the local list only when it holds nothing
  // but the new record. Stored lists look like this and nothing reads them differently.
  if (blank_line_always || !kept_any) content += kLineEnd;
  return store_and_render(place, list_file, content);
}

// Rewrites the list with its records only, each passed through `update`, and renders its page:
// dropping the lines that are not records moves the records to other line numbers, which the
// old page's rows would no longer name.
template <typename Update>
Outcome rewrite_records(const ListPlace& place, std::string_view list_file, Update update) {
  const auto old = read_list(place, list_file);
  if (!old) return Outcome::kNothing;
  std::string content;
  content.reserve(old->size() + kLineEnd.size());
  for (const std::string_view line : split_lines(*old)) {
    if (!is_record(line)) continue;
    std::vector<std::string_view> fields = split_fields(line);
    update(fields);
    append_joined(content, fields);
    content += kLineEnd;
  }
  return store_and_render(place, list_file, content);
}

}  // namespace

std::string_view page_for(std::string_view list_file) {
  return list_file == kNetworkList ? kNetworkPage : kLocalPage;
}

bool add_task(const ListPlace& place, std::int64_t id, std::string_view name,
              std::string_view label, std::string_view address, std::int64_t v, std::int64_t v1,
              std::int64_t position) {
  if (!storable(name) || !storable(label) || !storable(address)) return false;
  std::string record = std::to_string(id);
  for (const std::string_view text : {name, label, address}) {
    record += '|';
    record += text;
  }
  for (const std::int64_t number : {v, v1, position}) {
    record += '|';
    record += std::to_string(number);
  }
  return change(
      place,
      [record, id](const ListPlace& at) {
        return add_record(
            at, kNetworkList, record,
            [id](const std::vector<std::string_view>& fields) {
              return is_task_id(fields[kTaskIdField], id);
            },
            /*blank_line_always=*/true);
      },
      /*may_wait=*/true);
}

bool add_local(const ListPlace& place, std::string_view display_name, std::string_view path,
               std::int64_t position) {
  if (!storable(display_name) || !storable(path)) return false;
  std::string record(display_name);
  record += '|';
  record += path;
  record += '|';
  record += std::to_string(position);
  return change(
      place,
      [record, path = std::string(path)](const ListPlace& at) {
        return add_record(
            at, kLocalList, record,
            [&path](const std::vector<std::string_view>& fields) {
              return fields[kLocalPathField] == path;  // a record has at least two fields
            },
            /*blank_line_always=*/false);
      },
      /*may_wait=*/true);
}

bool set_task_pos(const ListPlace& place, std::int64_t id, std::int64_t position) {
  return change(
      place,
      [id, id_text = std::to_string(id),
       position_text = std::to_string(position)](const ListPlace& at) {
        return rewrite_records(at, kNetworkList, [&](std::vector<std::string_view>& fields) {
          // A record too short to hold a position is kept as it is.
          if (fields.size() <= kTaskPosField || !is_task_id(fields[kTaskIdField], id)) return;
          fields[kTaskIdField] = id_text;
          fields[kTaskPosField] = position_text;
        });
      },
      /*may_wait=*/true);
}

bool set_local_pos(const ListPlace& place, std::string_view path, std::int64_t position) {
  return change(
      place,
      [path = std::string(path), position_text = std::to_string(position)](const ListPlace& at) {
        return rewrite_records(at, kLocalList, [&](std::vector<std::string_view>& fields) {
          if (fields.size() <= kLocalPosField || fields[kLocalPathField] != path) return;
          fields[kLocalPosField] = position_text;
        });
      },
      /*may_wait=*/true);
}

bool remove_line(const ListPlace& place, std::string_view list_file, std::int64_t line) {
  return change(
      place, [list_file, line](const ListPlace& at) { return remove_step(at, list_file, line); },
      /*may_wait=*/false);
}

bool clear_list(const ListPlace& place, std::string_view list_file) {
  return change(
      place,
      [list_file](const ListPlace& at) {
        if (!files::exists(files::join(at.folder, list_file))) return Outcome::kNothing;
        return store_and_render(at, list_file, kLineEnd);
      },
      /*may_wait=*/false);
}

bool ensure_list(const std::string& folder, std::string_view list_file) {
  const std::string path = files::join(folder, list_file);
  return files::exists(path) || files::write_atomic(path, kLineEnd);
}

bool Backlog::retry(const ListPlace& place) {
  if (changes_.empty()) return true;
  std::size_t done = 0;
  while (done < changes_.size() && changes_[done](place)) ++done;
  changes_.erase(changes_.begin(), changes_.begin() + static_cast<std::ptrdiff_t>(done));
  if (!changes_.empty()) return false;
  if (place.view != nullptr) place.view->lists_saved();
  return true;
}

namespace {

Outcome remove_step(const ListPlace& place, std::string_view list_file, std::int64_t line) {
  const auto old = read_list(place, list_file);
  if (!old) return Outcome::kNothing;
  std::string content;
  content.reserve(old->size() + kLineEnd.size());
  std::int64_t number = 0;
  for (const std::string_view text : split_lines(*old)) {
    if (++number == line) continue;
    content += text;
    content += kLineEnd;
  }
  // The list ends with at most one empty line afterwards: trailing line ends are trimmed (two at
  // most) and one is written back.
  for (int i = 0; i < 2 && content.ends_with(kLineEnd); ++i) {
    content.resize(content.size() - kLineEnd.size());
  }
  content += kLineEnd;
  return store_and_render(place, list_file, content);
}

}  // namespace

}  // namespace pelmora::lists
