// The update check: six seconds after start the service's update file says which version is the
// latest and which promotions to show; the tray menu asks again on request.
#include "web/update_file.h"

#include <cctype>
#include <cstdlib>

#include "app/main_window.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/launcher.h"

namespace pelmora::web::update {

namespace {

constexpr std::string_view kSeparator = "====";

std::string_view trim_spaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// Line breaks of any convention: the file may end with one, and a service on another system
// writes LF alone.
std::string without_line_breaks(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c != '\r' && c != '\n') out += c;
  }
  return out;
}

}  // namespace

std::optional<UpdateFile> parse(std::string_view body) {
  if (body.find(kSeparator) == std::string_view::npos) return std::nullopt;
  std::string fields[4];
  std::size_t start = 0;
  for (int index = 0; index < 4; ++index) {
    const std::size_t end = body.find(kSeparator, start);
    fields[index] =
        std::string(body.substr(start, end == std::string_view::npos ? body.npos : end - start));
    if (end == std::string_view::npos) break;
    start = end + kSeparator.size();
  }
  return UpdateFile{fields[0], fields[1], fields[2], without_line_breaks(fields[3])};
}

double leading_number(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
  std::string number;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) number += text[at++];
  bool seen_point = false;
  bool seen_digit = false;
  for (; at < text.size(); ++at) {
    const char c = text[at];
    if (std::isdigit(static_cast<unsigned char>(c))) {
      seen_digit = true;
    } else if (c == '.' && !seen_point) {
      seen_point = true;
    } else {
      break;
    }
    number += c;
  }
  if (!seen_digit) return 0;
  return std::strtod(number.c_str(), nullptr);
}

bool offered_at_start(std::string_view latest, std::string_view installed) {
  return !latest.empty() && leading_number(latest) != 0 && latest != trim_spaces(installed);
}

bool offered_on_request(std::string_view latest, std::string_view installed) {
  return !latest.empty() && latest != trim_spaces(installed);
}

}  // namespace pelmora::web::update

namespace pelmora::app {

namespace {

std::string update_question(const std::string& latest) {
  return "检测到最新版本 " + latest + " ,你需要现在升级吗？";
}

}  // namespace

void BA1::Timer5_Timer() {
  Timer5.set_timer_enabled(false);
  update_request.start(service_url("lib/wen.txt"),
                       [this](std::string body) { update_file_arrived(body); });
}

void BA1::update_file_arrived(const std::string& body) {
  const std::optional<web::update::UpdateFile> file = web::update::parse(body);
  if (!file) return;
  exit_recommendation = file->exit_recommendation == "1";
  latest_version = file->latest_version;
  if (web::update::leading_number(file->advert) == 1 && chrome.ad_error != 1) {
    ad_huan.set_visible(true);
    adp.set_visible(false);
    chrome.advert_shown = true;
  }
  if (web::update::offered_at_start(latest_version, version) &&
      services().dialogs.message_box("Pelmora提示：", update_question(latest_version),
                                     platform::MessageButtons::kYesNo,
                                     platform::MessageIcon::kQuestion) == platform::Answer::kYes) {
    start_update(UpdateSource::kAutomatic);
    return;
  }
  if (web::update::leading_number(file->floating_promotion) == 1) Timer8.set_timer_enabled(true);
}

void BA1::shengji() {
  // The answer is about the service's file as it is now; a file that cannot be read is said to
  // be so, never taken for "nothing newer".
  manual_update_request.start(service_url("lib/wen.txt"), [this](std::string body) {
    const std::optional<web::update::UpdateFile> file = web::update::parse(body);
    if (!file) {
      services().dialogs.message_box(
          "提示：", "无法检测升级：没有读到升级信息，请检查网络连接后再试。",
          platform::MessageButtons::kOk, platform::MessageIcon::kWarning);
      return;
    }
    latest_version = file->latest_version;
    if (web::update::offered_on_request(latest_version, version)) {
      if (services().dialogs.message_box(
              "Pelmora提示：", update_question(latest_version), platform::MessageButtons::kYesNo,
              platform::MessageIcon::kQuestion) == platform::Answer::kYes) {
        start_update(UpdateSource::kManual);
      }
      return;
    }
    services().dialogs.message_box("提示：", "你现在使用的是最新版本，无需升级！",
                                   platform::MessageButtons::kOk,
                                   platform::MessageIcon::kInformation);
  });
}

void BA1::start_update(UpdateSource source) {
  const std::string updater = program_file("update.exe");
  if (platform::files::is_regular_file(updater)) {
    services().launcher.start_program(updater, {});
  } else {
    services().launcher.open_address(
        service_url(source == UpdateSource::kAutomatic ? "update/setup.exe" : "update/update.exe"));
  }
  exit_recommendation = false;
  ttt_v();
}

}  // namespace pelmora::app
