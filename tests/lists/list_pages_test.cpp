#include "lists/list_pages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/embedded.h"
#include "support/temp_folder.h"

namespace pelmora::lists {
namespace {

using testing::TempFolder;

class RecordingView : public ListPageView {
 public:
  void show_list_page(std::string_view list_file, const std::string& page_path) override {
    shown.push_back(std::string(list_file) + " " + page_path);
  }
  std::vector<std::string> shown;
};

// The page as the list panes expect it, written out whole; `rows` takes the place of the rows.
std::string expected_page(const std::string& rows) {
  // clang-format off
  const std::string head = R"(<html><head><title></title><style type="text/css">*{margin:0;padding:0;border:0px;}body{overflow:auto;background:#212121;}html{scrollbar-face-color:#2A2929;scrollbar-highlight-color:#353434;scrollbar-shadow-color:#000000;scrollbar-3dlight-color:#000000;scrollbar-arrow-color:#515151;scrollbar-track-color:#1F1D1C;scrollbar-darkshadow-color:#201F1E;}a:link,a:visited,a:active,a:hover{color:#ffffff;text-decoration:none;}td{padding-left:3px;height:22px;line-height:22px;font-size:12px;border-bottom:1px solid #161616;color:#9C9C81;}td img{width:11px;height:11px;margin-top:6px;}td a{float:left;}td dd{float:left;padding-left:8px;}.over{background:#312D26;} td span{float:right;padding-right:2px;display:block;}</style></head><body oncontextmenu="return false" ondragstart="return false"><table id="v1" width="100%" cellpadding="0" cellspacing="0" border="0">)";
  const std::string script = R"(<script type="text/javascript">
var obj=document.getElementById("v1");
for(var i=0;i<obj.rows.length;i++){
obj.rows[i].onmouseover=function(){this.className='over';}
obj.rows[i].onmouseout=function(){this.className='';}}
</script></body></html>
)";
  // clang-format on
  std::string crlf_script;
  for (const char c : script) {
    if (c == '\n') crlf_script += '\r';
    crlf_script += c;
  }
  return head + rows + "</table>" + crlf_script + "\r\n";
}

// A row's links carry the line number and the check of its record's first two fields.
std::string row(int n, const std::string& check, const std::string& title,
                const std::string& shown) {
  const std::string target = std::to_string(n) + "-" + check;
  return "<tr><td align=left width=96%><dd>" + std::to_string(n) + "</dd><dd><a title=\"" + title +
         "\" href=open://" + target + ">" + shown + "</a></dd><span><a href=delk://" + target +
         "><img src=\"i.gif\" alt=\"删除\"></a></span></td></tr>";
}

TEST(ListPages, NetworkListRendersNumberedRowsIntoItsPage) {
  TempFolder folder;
  RecordingView view;
  // Line 1 is the empty line of a fresh list. A record without a name is shown by its address,
  // and by a placeholder when it has none either, so that it can be seen and deleted.
  folder.write("date.dat",
               "\r\n12|%u8FD0%u52A8 %3Cb%3E|L|qvod|1|2|0\r\n3||L|qvod%3A//x|1|1|0\r\n"
               "4|%u5C0F|L|q|1|1|0\r\n5||||1|1|0\r\n\r\n");
  ASSERT_TRUE(render_list({folder.path(), &view}, kNetworkList));
  EXPECT_EQ(
      folder.read("c.htm"),
      expected_page(row(2, "b7ef6f66", "运动 &lt;b&gt;", "运动 &lt;b&gt;") +
                    row(3, "53efff9a", "qvod://x", "qvod://x") + row(4, "a9e0d801", "小", "小") +
                    row(5, "4fe0eec4", "（无标题）", "（无标题）")));
  EXPECT_EQ(view.shown, std::vector<std::string>{"date.dat " + folder.file("c.htm")});
}

TEST(ListPages, EmptyLocalListRendersTheNoRecordsRow) {
  TempFolder folder;
  folder.write("date_f.dat", "\r\nno record here\r\n");
  ASSERT_TRUE(render_list({folder.path(), nullptr}, kLocalList));
  EXPECT_EQ(folder.read("f.htm"), expected_page("<tr><td align=center>暂无记录</td></tr>"));
  EXPECT_FALSE(folder.has("c.htm"));
}

TEST(ListPages, TitlesAreCutThenEscaped) {
  const std::string page = page_text("<script>alert(\"x\")</script> & b|/v/a|0\r\n", true);
  EXPECT_EQ(page, expected_page(row(1, "3013b2da",
                                    "&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; &amp; b",
                                    "&lt;script&gt;alert(&quot;x&quot;)&lt;/scri")));
}

TEST(ListPages, WideTitleIsShownInTwelveCharactersWithTheWholeTitleAsTooltip) {
  const std::string ten = "一二三四五六七八九十";
  const std::string thirty = ten + ten + ten;
  const std::string page = page_text(thirty + "|/v/a|0\r\n", true);
  EXPECT_EQ(page, expected_page(row(1, "ce221950", thirty, ten + "一二")));
}

TEST(ListPages, MissingListLeavesTheOldPageAndShowsNothing) {
  TempFolder folder;
  RecordingView view;
  folder.write("f.htm", "old");
  EXPECT_FALSE(render_list({folder.path(), &view}, kLocalList));
  EXPECT_EQ(folder.read("f.htm"), "old");
  EXPECT_TRUE(view.shown.empty());
}

TEST(ListPages, PageIconIsWrittenOnlyWhenMissing) {
  TempFolder folder;
  ASSERT_TRUE(ensure_page_icon(folder.path()));
  EXPECT_EQ(folder.read("i.gif"), resources::page_icon_gif());
  folder.write("i.gif", "mine");
  ASSERT_TRUE(ensure_page_icon(folder.path()));
  EXPECT_EQ(folder.read("i.gif"), "mine");
}

}  // namespace
}  // namespace pelmora::lists
