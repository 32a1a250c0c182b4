// The next and previous episodes of the network episode that plays: prepared in advance for the
// player to buffer, or played at once from the transport bar.
#include "app/main_window.h"

#include <optional>

#include "app/settings_store.h"
#include "web/link_grammar.h"

namespace pelmora::app {

namespace {

// Ticks of the retry timer between a failed fetch and its retry (50 s each).
constexpr int kRetryTicks = 2;

// The current episode's key, when a network episode plays.
std::optional<web::EpisodeKey> current_key(const std::string& cur_episode) {
  if (cur_episode == "0" || cur_episode.find('-') == std::string::npos) return std::nullopt;
  return web::EpisodeKey::parse(cur_episode);
}

}  // namespace

void BA1::fetch_next(std::function<void()> then) {
  const auto finish = [&then] {
    if (then) then();
  };
  if (settings::as_number(settings::read_ini(ini_path, "S_q", "s_h")) != 2) {
    next_link = "0";
    finish();
    return;
  }
  const std::optional<web::EpisodeKey> key = current_key(cur_episode);
  const std::optional<std::int64_t> episode =
      key ? web::whole_number(key->v1) : std::optional<std::int64_t>();
  // Nothing to prepare, or the fetch of the next episode is already on its way: the status
  // monitor calls every second and must not ask the service again meanwhile.
  if (!episode || next_request.pending()) {
    finish();
    return;
  }
  const std::string next_episode = std::to_string(*episode + 1);
  next_request.start(
      resource_url(key->id_text, key->v, next_episode),
      [this, key = *key, next_episode, then](std::string body) {
        next_episode_found(key, next_episode, body);
        if (then) then();
      },
      then);
}

void BA1::next_episode_found(const web::EpisodeKey& key, const std::string& next_episode,
                             const std::string& body) {
  const web::ResourceReply reply = web::ResourceReply::parse(body);
  switch (reply.kind) {
    case web::ResourceReply::Kind::kNone:
      next_link = "1";
      next_addr = "1";
      break;
    case web::ResourceReply::Kind::kNotReady:
      next_link = "0";
      next_addr = "0";
      break;
    case web::ResourceReply::Kind::kRecord: {
      // The prepared episode always plays in the player, whatever kind the service named.
      const web::PlayLink link = web::play_link_for(key, reply, "qvod", next_episode);
      next_addr = reply.address;
      next_busy = 0;
      next_link = link.link();
      break;
    }
    case web::ResourceReply::Kind::kMalformed:
      // A failed request, an empty or an unreadable answer: try again in 100 s.
      next_link = "3";
      next_addr = "0";
      retry_ticks = 0;
      next_busy = 1;
      balloon("读取下一集数据出错，稍后将重新读取！");
      Timer4.set_timer_enabled(true);
      break;
  }
}

void BA1::Timer4_Timer() {
  ++retry_ticks;
  if (retry_ticks < kRetryTicks) return;
  Timer4.set_timer_enabled(false);
  // The retry's last steps follow the fetch's reply, as they would follow a fetch that waited.
  fetch_next([this] {
    next_busy = 0;
    retry_ticks = 0;
  });
}

bool BA1::can_step_episode(int direction) const {
  const std::optional<web::EpisodeKey> key = current_key(cur_episode);
  if (!key) return false;
  const std::optional<std::int64_t> episode = web::whole_number(key->v1);
  return episode && (direction != 1 || *episode > 0);
}

void BA1::step_episode(int direction, std::function<void()> finished) {
  const auto finish = [&finished] {
    if (finished) finished();
  };
  const int step = direction == 1 ? -1 : 1;
  const std::optional<web::EpisodeKey> key = current_key(cur_episode);
  const std::optional<std::int64_t> episode =
      key ? web::whole_number(key->v1) : std::optional<std::int64_t>();
  // There is no episode before episode 0.
  if (!episode || (direction == 1 && *episode == 0)) {
    finish();
    return;
  }
  const std::string target = std::to_string(*episode + step);
  episode_request.start(
      resource_url(key->id_text, key->v, target),
      [this, key = *key, target, finished](std::string body) {
        const web::ResourceReply reply = web::ResourceReply::parse(body);
        if (reply.kind == web::ResourceReply::Kind::kRecord) {
          const web::PlayLink link = web::play_link_for(key, reply, reply.source_kind, target);
          // The link protocol stops the current item and plays this one.
          Web1.navigate(link.link());
        }
        if (finished) finished();
      },
      finished);
}

}  // namespace pelmora::app
