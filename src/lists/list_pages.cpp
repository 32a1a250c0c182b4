#include "lists/list_pages.h"

#include <vector>

#include "lists/list_lines.h"
#include "platform/files.h"
#include "resources/embedded.h"
#include "util/display_width.h"
#include "util/html_text.h"
#include "util/link_schemes.h"
#include "util/text_helpers.h"
#include "util/url_codec.h"

namespace pelmora::lists {

namespace {

namespace files = platform::files;

// Titles are cut to this many display columns in the rows; the whole title is the tooltip.
constexpr int kTitleColumns = 24;

// The page up to the place of the rows, and what follows them. The style and the script are the
// look and the hover effect the list panes have always had.
constexpr std::string_view kPageHead =
    "<html><head><title></title><style type=\"text/css\">"
    "*{margin:0;padding:0;border:0px;}body{overflow:auto;background:#212121;}"
    "html{scrollbar-face-color:#2A2929;scrollbar-highlight-color:#353434;"
    "scrollbar-shadow-color:#000000;scrollbar-3dlight-color:#000000;"
    "scrollbar-arrow-color:#515151;scrollbar-track-color:#1F1D1C;"
    "scrollbar-darkshadow-color:#201F1E;}"
    "a:link,a:visited,a:active,a:hover{color:#ffffff;text-decoration:none;}"
    "td{padding-left:3px;height:22px;line-height:22px;font-size:12px;"
    "border-bottom:1px solid #161616;color:#9C9C81;}"
    "td img{width:11px;height:11px;margin-top:6px;}td a{float:left;}"
    "td dd{float:left;padding-left:8px;}.over{background:#312D26;}"
    " td span{float:right;padding-right:2px;display:block;}</style></head>"
    "<body oncontextmenu=\"return false\" ondragstart=\"return false\">"
    "<table id=\"v1\" width=\"100%\" cellpadding=\"0\" cellspacing=\"0\" border=\"0\">";
constexpr std::string_view kPageTail =
    "</table>"
    "<script type=\"text/javascript\">\r\n"
    "var obj=document.getElementById(\"v1\");\r\n"
    "for(var i=0;i<obj.rows.length;i++){\r\n"
    "obj.rows[i].onmouseover=function(){this.className='over';}\r\n"
    "obj.rows[i].onmouseout=function(){this.className='';}}\r\n"
    "</script></body></html>\r\n"
    "\r\n";
constexpr std::string_view kNoRecordsRow = "<tr><td align=center>暂无记录</td></tr>";

// Field 0 (display name) of a local record, field 1 (programme name) of a network task.
constexpr std::size_t kLocalTitleField = 0;
constexpr std::size_t kNetworkTitleField = 1;
// What a record plays: a local record's path, a network task's episode address.
constexpr std::size_t kLocalPathField = 1;
constexpr std::size_t kNetworkAddressField = 3;
constexpr std::string_view kUntitled = "（无标题）";

// The row's links name the line and the check of the record it shows (see row_check).
void append_row(std::string& rows, std::string_view number, std::string_view check,
                std::string_view title, std::string_view shown) {
  rows += "<tr><td align=left width=96%><dd>";
  rows += number;
  rows += "</dd><dd><a title=\"";
  text::append_html_escaped(rows, title);
  rows += "\" href=";
  rows += links::kOpen;
  rows += number;
  rows += '-';
  rows += check;
  rows += '>';
  text::append_html_escaped(rows, shown);
  rows += "</a></dd><span><a href=";
  rows += links::kDelete;
  rows += number;
  rows += '-';
  rows += check;
  rows += "><img src=\"i.gif\" alt=\"删除\"></a></span></td></tr>";
}

// The title a record is shown by. A record without one of its own is still shown, so that it can
// be seen and deleted: by the address it plays (a local record's path, a task's episode address),
// and by a placeholder when that is empty too.
std::string row_title(const std::vector<std::string_view>& fields, std::size_t title_field) {
  std::string title = text::url_unescape(fields[title_field]);
  if (!title.empty()) return title;
  const std::size_t address_field =
      title_field == kLocalTitleField ? kLocalPathField : kNetworkAddressField;
  if (address_field < fields.size()) title = text::url_unescape(fields[address_field]);
  return title.empty() ? std::string(kUntitled) : title;
}

}  // namespace

std::string page_text(std::string_view list_content, bool local) {
  const std::size_t title_field = local ? kLocalTitleField : kNetworkTitleField;
  std::string rows;
  std::int64_t number = 0;
  // Every line counts, records or not, so that the number in a row is the line remove_line takes.
  for (const std::string_view line : text::split_lines(list_content)) {
    ++number;
    if (!detail::is_record(line)) continue;
    const auto fields = detail::split_fields(line);  // a record has at least two fields
    const std::string title = row_title(fields, title_field);
    const std::string shown = text::cut_width(title, kTitleColumns);
    append_row(rows, std::to_string(number), detail::row_check(line), title, shown);
  }
  if (rows.empty()) rows = kNoRecordsRow;

  std::string page;
  page.reserve(kPageHead.size() + rows.size() + kPageTail.size());
  page += kPageHead;
  page += rows;
  page += kPageTail;
  return page;
}

bool render_list(const ListPlace& place, std::string_view list_file) {
  const auto content = files::read(files::join(place.folder, list_file));
  if (!content) return false;
  const std::string page_path = files::join(place.folder, page_for(list_file));
  if (!files::write_atomic(page_path, page_text(*content, list_file != kNetworkList))) {
    return false;
  }
  if (place.view != nullptr) place.view->show_list_page(list_file, page_path);
  return true;
}

bool ensure_page_icon(const std::string& folder) {
  const std::string path = files::join(folder, kPageIconFile);
  return files::exists(path) || files::write_atomic(path, resources::page_icon_gif());
}

}  // namespace pelmora::lists
