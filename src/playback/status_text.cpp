#include "playback/status_text.h"

#include "util/text_helpers.h"

namespace pelmora::playback::status {

using platform::PlayState;

std::string playing_text(int transfer_rate, int position, int stream_rate) {
  if (transfer_rate >= 1 && position > 6) {
    return "播放中(" + std::to_string(transfer_rate) + " Kbps/S)";
  }
  return "播放中(" + std::to_string(stream_rate) + " Kbps)";
}

std::optional<std::string> state_text(PlayState state, int transfer_rate, bool loaded) {
  const std::string rate = std::to_string(transfer_rate);
  switch (state) {
    case PlayState::kReady:
      return loaded ? "播放完毕" : "准备就绪";
    case PlayState::kStopped:
      return "已停止";
    case PlayState::kPaused:
      if (transfer_rate >= 1) return "已暂停 (" + rate + "Kbps/S)";
      return "已暂停";
    case PlayState::kPlaying:
      return std::nullopt;
    case PlayState::kBuffering:
      return "正在缓冲 (" + rate + "Kbps/S)";
    case PlayState::kWaiting:
      return "等待中";
    case PlayState::kEnded:
      return "播放结束";
    case PlayState::kPreparing:
      return "准备读";
    case PlayState::kReconnecting:
      return "重连中";
    case PlayState::kFetchingSeed:
      return "BT种子下载中";
    case PlayState::kConnecting:
      return "正在连接 (" + rate + "KB/S)";
    case PlayState::kStopping:
      return "正在停止";
  }
  return std::nullopt;
}

std::optional<std::string> failure_text(platform::PlayFailure failure) {
  switch (failure) {
    case platform::PlayFailure::kNone:
      return std::nullopt;
    case platform::PlayFailure::kUnreachable:
      return "播放失败：无法连接播放地址";
    case platform::PlayFailure::kMissingFile:
      return "播放失败：文件不存在";
    case platform::PlayFailure::kUnsupportedFormat:
      return "播放失败：不支持的文件格式";
    case platform::PlayFailure::kBrokenFile:
      return "播放失败：文件已损坏";
    case platform::PlayFailure::kNoSource:
      return "播放失败：找不到资源";
    case platform::PlayFailure::kUnwritableFolder:
      return "播放失败：下载文件夹无法写入";
    case platform::PlayFailure::kFolderFull:
      return "播放失败：下载文件夹所在磁盘已满";
  }
  return std::nullopt;
}

std::string time_display(int position, int duration) {
  return text::time_text(position) + " / " + text::time_text(duration);
}

}  // namespace pelmora::playback::status
