#include "pages.h"

#include "plain_text.h"

#include <cstdio>
#include <optional>
#include <vector>

namespace pelmora::service::pages {
namespace {

constexpr std::string_view kStyle = R"(
html,body{margin:0;background:#212121;color:#e0e0e0;
  font:14px/1.5 "Noto Sans CJK SC","WenQuanYi Micro Hei","Microsoft YaHei",sans-serif}
a{color:#90caf9;text-decoration:none}a:hover{text-decoration:underline}
h1{font-size:17px;margin:0;padding:10px 16px;background:#2b2b2b;border-bottom:1px solid #3a3a3a;
  color:#fff}
main{padding:12px 16px}
.grid{display:flex;flex-wrap:wrap;gap:16px}
.card{width:220px;background:#2b2b2b;border-radius:6px;padding:10px}
.card svg{display:block;margin:0 auto 8px}
.name{font-size:16px;font-weight:bold;color:#fff}
.note,.blurb{color:#9e9e9e;font-size:12px}
.src{margin-top:8px;color:#bdbdbd;font-size:12px}
.eps a{display:inline-block;margin:3px 4px 0 0;padding:2px 8px;background:#37474f;
  border-radius:3px;color:#e0e0e0}
.eps a.current{background:#f57c00;color:#fff}
ul{margin:0;padding-left:20px}li{margin:4px 0}
)";

std::string page(std::string_view title, std::string_view body, std::string_view style = {},
                 std::string_view script = {}) {
  std::string html = "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">";
  html += "<meta name=\"viewport\" content=\"width=device-width\"><title>";
  html += html_escape(title);
  html += "</title><style>";
  html += kStyle;
  html += style;
  html += "</style></head>\n<body>\n";
  html += body;
  if (!script.empty()) {
    html += "<script>";
    html += script;
    html += "</script>\n";
  }
  html += "</body></html>\n";
  return html;
}

std::string poster(const Programme& programme, int width, int height) {
  const std::string w = std::to_string(width);
  const std::string h = std::to_string(height);
  const std::string name = html_escape(programme.name);
  return "<svg width=\"" + w + "\" height=\"" + h + "\" viewBox=\"0 0 " + w + " " + h +
         "\" role=\"img\" aria-label=\"" + name + "\"><rect width=\"" + w + "\" height=\"" + h +
         "\" rx=\"6\" fill=\"" + html_escape(programme.colour) + "\"/><circle cx=\"" +
         std::to_string(width * 5 / 6) + "\" cy=\"" + std::to_string(height / 5) + "\" r=\"" +
         std::to_string(height / 3) +
         "\" fill=\"#fff\" opacity=\"0.15\"/><text x=\"50%\" y=\"58%\" text-anchor=\"middle\" "
         "font-size=\"" +
         std::to_string(height / 5) + "\" fill=\"#fff\">" + name + "</text></svg>";
}

std::string episode_anchor(const Programme& programme, const Source& source, int episode,
                           bool current) {
  // Read alone (a screen reader's list of links), "第1集" says nothing: the link's name carries
  // the series and the source, as the card shows them around it.
  const std::string spoken = programme.name + " " + episode_label(programme, episode) + "，来源 " +
                             std::to_string(source.number) + " · " + source.caption +
                             (current ? "，正在播放" : "");
  return "<a href=\"" + html_escape(episode_link(programme, source.number, episode)) + "\"" +
         (current ? " class=\"current\"" : "") + " aria-label=\"" + html_escape(spoken) + "\">" +
         (current ? "▶ " : "") + html_escape(episode_label(programme, episode)) + "</a>";
}

std::string source_block(const Programme& programme, const Source& source,
                         const EpisodeRef* current) {
  std::string html = "<div class=\"src\">来源 " + std::to_string(source.number) + " · " +
                     html_escape(source.caption) + "</div><div class=\"eps\">";
  for (int e = 1; e <= source.episodes; ++e) {
    const bool is_current = current && current->source == source.number && current->episode == e;
    html += episode_anchor(programme, source, e, is_current);
  }
  return html + "</div>";
}

std::string card(const Programme& programme) {
  std::string html = "<div class=\"card\">" + poster(programme, 200, 120) + "<div class=\"name\">" +
                     html_escape(programme.name) + "</div><div class=\"blurb\">" +
                     html_escape(programme.blurb) + "</div>";
  for (const Source& source : programme.sources) html += source_block(programme, source, nullptr);
  return html + "</div>";
}

std::string grid(const std::vector<const Programme*>& programmes) {
  std::string html = "<div class=\"grid\">";
  for (const Programme* p : programmes) html += card(*p);
  return html + "</div>";
}

std::vector<const Programme*> all(const Catalogue& catalogue) {
  std::vector<const Programme*> list;
  for (const Programme& p : catalogue.programmes) list.push_back(&p);
  return list;
}

// The clips that play in a page (every episode of the sources that are not the player's kind),
// in catalogue order: the TV's channels and the music's tracks, numbered from 1. Only these can
// play in a pane: the player's MP4 clips are for the player.
struct WebClip {
  const Programme* programme;
  const Source* source;
  int episode;
};
std::vector<WebClip> web_clips(const Catalogue& catalogue) {
  std::vector<WebClip> clips;
  for (const Programme& p : catalogue.programmes) {
    for (const Source& s : p.sources) {
      if (plays_in_player(s)) continue;
      for (int e = 1; e <= s.episodes; ++e) clips.push_back({&p, &s, e});
    }
  }
  return clips;
}

// The music's tracks: a title for each of the first web clips.
constexpr std::string_view kTrackTitles[] = {"晚风", "海边的灯塔", "Night Train"};

std::optional<WebClip> web_clip(const Catalogue& catalogue, int number) {
  const std::vector<WebClip> clips = web_clips(catalogue);
  if (number < 1 || static_cast<std::size_t>(number) > clips.size()) return std::nullopt;
  return clips[static_cast<std::size_t>(number) - 1];
}

std::string clip_address(const WebClip& clip) {
  return "/media/" + clip_file(*clip.programme, *clip.source, clip.episode);
}

// Plays the element `m` at once; where the engine refuses to start it with sound before a click,
// it starts muted rather than not at all.
constexpr std::string_view kAutoplay =
    "var m=document.getElementById('m');"
    "m.addEventListener('error',function(){document.getElementById('msg').hidden=false;});"
    "var p=m.play();if(p&&p.catch){p.catch(function(){m.muted=true;return m.play();})"
    ".catch(function(){});}";

}  // namespace

std::string html_escape(std::string_view text) {
  return text::html_escape(text);
}

std::string js_string(std::string_view text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20 || c == '<' || c == '>' || c == '&') {
      char code[8];
      std::snprintf(code, sizeof code, "\\u%04X", u);
      out += code;
    } else if (u == 0xE2 && i + 2 < text.size() && text[i + 1] == '\x80' &&
               (text[i + 2] == '\xA8' || text[i + 2] == '\xA9')) {
      // U+2028 and U+2029 end a line inside older JavaScript string literals.
      out += text[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
      i += 2;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string home(const Catalogue& catalogue, bool media_missing) {
  std::string body = "<h1>Pelmora 演示片库</h1><main>";
  if (media_missing) {
    body += "<p class=\"note\">演示片段尚未生成：请运行 scripts/make-demo-media.sh。</p>";
  }
  body += grid(all(catalogue)) + "</main>\n";
  return page("Pelmora 演示片库", body);
}

std::string search_results(const Catalogue& catalogue, std::string_view word) {
  const auto found = search(catalogue, word);
  std::string body = "<h1>搜索：" + html_escape(word) + "</h1><main>";
  if (found.empty()) {
    body += "<p class=\"note\">没有找到与“" + html_escape(word) + "”相关的影片。</p>";
  } else {
    body +=
        "<p class=\"note\">找到 " + std::to_string(found.size()) + " 部影片。</p>" + grid(found);
  }
  body += "</main>\n";
  return page("搜索：" + std::string(word), body);
}

std::string episode_list(const Catalogue& catalogue, const EpisodeListQuery& query) {
  const Programme* programme = catalogue.programme(query.current.id);
  if (!programme) return {};
  std::string body = "<h1>" + html_escape(programme->name) + "</h1><main>";
  const Source* current_source = programme->source(query.current.source);
  if (current_source && query.current.episode >= 1 &&
      query.current.episode <= current_source->episodes) {
    body += "<div class=\"note\">正在播放：" +
            html_escape(episode_label(*programme, query.current.episode)) + "</div>";
  }
  for (const Source& source : programme->sources) {
    body += source_block(*programme, source, &query.current);
  }
  body += "</main>\n";
  std::string script;
  if (query.open_episode && current_source && *query.open_episode >= 1 &&
      *query.open_episode <= current_source->episodes) {
    // Opened once, when the page is navigated to: a reload (the client refreshes this pane after
    // deleting a history entry) or a step back must not start the episode again.
    script =
        "window.addEventListener('load',function(){"
        "var n=performance.getEntriesByType?performance.getEntriesByType('navigation')[0]:null;"
        "if(n&&n.type!=='navigate')return;"
        "location.href=" +
        js_string(episode_link(*programme, current_source->number, *query.open_episode)) + ";});";
  } else if (query.open_episode && current_source) {
    body += "<p class=\"note\">已经是最后一集。</p>";
  }
  return page(programme->name, body, {}, script);
}

std::string web_player(const WebPlayQuery& play, std::string_view end_marker) {
  const std::string body = "<video id=\"v\" src=\"" + html_escape(play.address) +
                           "\" controls autoplay playsinline></video>"
                           "<div id=\"msg\" class=\"note\" hidden>无法播放这个片段。</div>\n";
  const std::string script =
      "var v=document.getElementById('v');"
      "v.addEventListener('ended',function(){location.href=" +
      js_string(end_marker) +
      ";});"
      "v.addEventListener('error',function(){document.getElementById('msg').hidden=false;});"
      // Autoplay with sound may be refused without a click; then play muted rather than not at all.
      "var p=v.play();if(p&&p.catch){p.catch(function(){v.muted=true;return v.play();})"
      ".catch(function(){});}";
  return page("网页播放", body,
              "body{overflow:hidden}video{display:block;width:100vw;height:100vh;background:#000}"
              "#msg{position:fixed;top:8px;left:8px}",
              script);
}

std::string tv(const Catalogue& catalogue) {
  std::string list = "<div class=\"eps\">";
  int number = 0;
  for (const WebClip& clip : web_clips(catalogue)) {
    ++number;
    list += "<a href=\"/tv/live.htm?c=" + std::to_string(number) + "\">频道 " +
            std::to_string(number) + " · " + html_escape(clip.programme->name) + " " +
            html_escape(episode_label(*clip.programme, clip.episode)) + "</a>";
  }
  return page("电视直播", "<h1>电视直播</h1><main><p class=\"note\">演示频道：点击即可播放。</p>" +
                              list + "</div></main>\n");
}

std::string tv_channel(const Catalogue& catalogue, int channel) {
  const std::optional<WebClip> clip = web_clip(catalogue, channel);
  if (!clip) return {};
  const std::string title = "频道 " + std::to_string(channel) + " · " + clip->programme->name;
  // A channel runs on and on: the clip starts again when it ends.
  const std::string body = "<h1><a href=\"/tv\">电视直播</a> · " + html_escape(title) +
                           "</h1><video id=\"m\" src=\"" + html_escape(clip_address(*clip)) +
                           "\" autoplay loop playsinline controls></video>"
                           "<div id=\"msg\" class=\"note\" hidden>无法播放这个频道。</div>\n";
  return page(title, body,
              "body{overflow:hidden}video{display:block;width:100vw;height:calc(100vh - 44px);"
              "background:#000}#msg{position:fixed;top:52px;left:8px}",
              kAutoplay);
}

std::string music(const Catalogue& catalogue) {
  const std::vector<WebClip> clips = web_clips(catalogue);
  std::string list = "<div class=\"eps\">";
  for (std::size_t i = 0; i < std::size(kTrackTitles) && i < clips.size(); ++i) {
    list += "<a href=\"/tv/song.htm?t=" + std::to_string(i + 1) + "\">" +
            html_escape(kTrackTitles[i]) + " · 演示曲目</a>";
  }
  return page("音乐", "<h1>音乐</h1><main><p class=\"note\">点击曲目即可收听。</p>" + list +
                          "</div></main>\n");
}

std::string music_track(const Catalogue& catalogue, int track) {
  if (track < 1 || static_cast<std::size_t>(track) > std::size(kTrackTitles)) return {};
  const std::optional<WebClip> clip = web_clip(catalogue, track);
  if (!clip) return {};
  const std::string title(kTrackTitles[track - 1]);
  const std::string body = "<h1><a href=\"/tv/mp3.htm\">音乐</a> · " + html_escape(title) +
                           "</h1><main><audio id=\"m\" src=\"" + html_escape(clip_address(*clip)) +
                           "\" autoplay controls></audio>"
                           "<div id=\"msg\" class=\"note\" hidden>无法播放这首曲目。</div>"
                           "</main>\n";
  return page(title, body, "audio{width:100%;max-width:480px}", kAutoplay);
}

std::string novels() {
  return page("小说频道",
              "<h1>小说频道</h1><main><ul><li>山海经新编</li><li>星夜列车上的故事</li>"
              "<li>Harbour Tales</li></ul><p class=\"note\">演示服务中的小说站点。</p></main>\n");
}

std::string apps() {
  return page("应用推荐",
              "<h1>应用推荐</h1><main><ul><li>Pelmora 播放器</li><li>字幕助手</li></ul>"
              "<p class=\"note\">演示服务中的应用站点。</p></main>\n");
}

std::string player_download() {
  return page(
      "播放器下载",
      "<h1>播放器下载</h1><main><p>演示环境中的播放引擎随 Pelmora 一同安装，无需另行下载。</p>"
      "</main>\n");
}

std::string about() {
  return page("关于",
              "<h1>关于 Pelmora 演示服务</h1><main><p>这是 Pelmora 的本地演示服务，"
              "只在 127.0.0.1 上提供片库、搜索、剧集列表和演示片段。</p></main>\n");
}

std::string player_advert(const Catalogue& catalogue) {
  std::string body = "<main><div class=\"name\">广告位 · 演示</div>";
  if (!catalogue.programmes.empty()) {
    body += "<div class=\"note\">推荐观看：" + html_escape(catalogue.programmes.front().name) +
            "</div>";
  }
  return page("广告", body + "</main>\n");
}

std::string floating_promotion(const Catalogue& catalogue) {
  std::string body = "<main><div class=\"name\">今日推荐</div>";
  if (!catalogue.programmes.empty()) body += poster(catalogue.programmes.back(), 236, 110);
  return page("推荐", body + "</main>\n", "html,body{overflow:hidden;width:268px;height:200px}");
}

std::string exit_recommendation(const Catalogue& catalogue) {
  std::string body = "<main><div class=\"name\">推荐</div><ul>";
  for (const Programme& p : catalogue.programmes) body += "<li>" + html_escape(p.name) + "</li>";
  return page("推荐", body + "</ul><p class=\"note\">感谢使用 Pelmora。</p></main>\n",
              "html,body{overflow:hidden;width:350px;height:250px}");
}

std::string installer_notice() {
  return page("升级", "<h1>升级</h1><main><p>演示服务不提供安装程序。</p></main>\n");
}

std::string error(int status, std::string_view message) {
  const std::string title = std::to_string(status) + " " + std::string(message);
  return page(title, "<h1>" + html_escape(title) + "</h1>\n");
}

}  // namespace pelmora::service::pages
