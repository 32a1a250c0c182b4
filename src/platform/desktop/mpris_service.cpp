#include "platform/desktop/mpris_service.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QTimer>
#include <QtCore/QUrl>
#include <QtDBus/QDBusConnectionInterface>
#include <QtDBus/QDBusMessage>
#include <algorithm>
#include <cmath>
#include <utility>

namespace pelmora::platform::qt {

namespace {

constexpr qlonglong kMicroseconds = 1000000;
constexpr const char* kRootInterface = "org.mpris.MediaPlayer2";
constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";

// Whole seconds from microseconds, to the nearest.
int seconds_of(qlonglong microseconds) {
  return static_cast<int>(std::llround(static_cast<double>(microseconds) / kMicroseconds));
}

}  // namespace

QString playback_status_name(PlaybackStatus status) {
  switch (status) {
    case PlaybackStatus::kPlaying:
      return QStringLiteral("Playing");
    case PlaybackStatus::kPaused:
      return QStringLiteral("Paused");
    case PlaybackStatus::kStopped:
      break;
  }
  return QStringLiteral("Stopped");
}

MprisService::MprisService(MediaControls& controls, std::function<void()> after_command,
                           QObject* parent)
    : QObject(parent), controls_(controls), after_command_(std::move(after_command)) {
  new MprisRootAdaptor(this);
  new MprisPlayerAdaptor(this);
}

MprisService::~MprisService() {
  if (registered_name_.isEmpty()) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  bus.unregisterObject(kObjectPath);
  bus.unregisterService(registered_name_);
}

bool MprisService::publish() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  if (!bus.registerObject(kObjectPath, this, QDBusConnection::ExportAdaptors)) return false;
  // A second program on the same bus (another user's session shares none) takes the name with
  // its process number, as media players do.
  QString name = kServiceName;
  if (!bus.registerService(name)) {
    name += QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid());
    if (!bus.registerService(name)) {
      bus.unregisterObject(kObjectPath);
      return false;
    }
  }
  registered_name_ = name;
  return true;
}

QDBusObjectPath MprisService::track_path(std::int64_t item) {
  if (item == 0) return QDBusObjectPath("/org/mpris/MediaPlayer2/TrackList/NoTrack");
  return QDBusObjectPath(QStringLiteral("/org/pelmora/Pelmora/Track/%1").arg(item));
}

QVariantMap MprisService::metadata_of(const MediaState& state) {
  QVariantMap metadata;
  metadata.insert("mpris:trackid", QVariant::fromValue(track_path(state.item)));
  if (state.item == 0) return metadata;
  if (state.length > 0) {
    metadata.insert("mpris:length", QVariant::fromValue(qlonglong(state.length) * kMicroseconds));
  }
  metadata.insert("xesam:title", QString::fromStdString(state.title));
  return metadata;
}

void MprisService::update(const MediaState& now, const MediaState& before) {
  state_ = now;
  if (registered_name_.isEmpty()) return;
  QVariantMap changed;
  if (now.status != before.status)
    changed.insert("PlaybackStatus", playback_status_name(now.status));
  if (now.item != before.item || now.title != before.title || now.length != before.length) {
    changed.insert("Metadata", metadata_of(now));
  }
  if (now.volume != before.volume) changed.insert("Volume", now.volume / 100.0);
  if (now.can_go_next != before.can_go_next) changed.insert("CanGoNext", now.can_go_next);
  if (now.can_go_previous != before.can_go_previous) {
    changed.insert("CanGoPrevious", now.can_go_previous);
  }
  if (now.can_play != before.can_play) changed.insert("CanPlay", now.can_play);
  if (now.can_pause != before.can_pause) changed.insert("CanPause", now.can_pause);
  if (now.can_seek != before.can_seek) changed.insert("CanSeek", now.can_seek);
  if (changed.isEmpty()) return;
  QDBusMessage signal = QDBusMessage::createSignal(kObjectPath, "org.freedesktop.DBus.Properties",
                                                   "PropertiesChanged");
  signal << QString(kPlayerInterface) << changed << QStringList();
  QDBusConnection::sessionBus().send(signal);
}

void MprisService::command_done() {
  if (after_command_) after_command_();
}

// ---- org.mpris.MediaPlayer2 ---------------------------------------------------------------------

MprisRootAdaptor::MprisRootAdaptor(MprisService* service)
    : QDBusAbstractAdaptor(service), service_(service) {}

QStringList MprisRootAdaptor::uri_schemes() const {
  return {"file", "qvod", "http", "https"};
}

QStringList MprisRootAdaptor::mime_types() const {
  // As the desktop entry lists them.
  return {"video/mp4",
          "video/x-matroska",
          "video/webm",
          "video/x-msvideo",
          "video/quicktime",
          "video/mpeg",
          "video/x-ms-wmv",
          "video/x-flv",
          "video/3gpp",
          "video/mp2t",
          "video/ogg",
          "application/vnd.rn-realmedia",
          "application/vnd.rn-realmedia-vbr"};
}

void MprisRootAdaptor::Raise() {
  service_->controls().raise();
  service_->command_done();
}

void MprisRootAdaptor::Quit() {
  // The exit routine unloads the windows; it runs after this call has been answered.
  QTimer::singleShot(0, service_, [service = service_] {
    service->controls().quit();
    service->command_done();
  });
}

// ---- org.mpris.MediaPlayer2.Player
// ---------------------------------------------------------------

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService* service)
    : QDBusAbstractAdaptor(service), service_(service) {
  setAutoRelaySignals(true);
}

QString MprisPlayerAdaptor::playback_status() const {
  return playback_status_name(service_->state().status);
}

QVariantMap MprisPlayerAdaptor::metadata() const {
  return MprisService::metadata_of(service_->state());
}

double MprisPlayerAdaptor::volume() const {
  return service_->state().volume / 100.0;
}

void MprisPlayerAdaptor::set_volume(double volume) {
  if (!std::isfinite(volume)) return;
  service_->controls().set_volume(
      static_cast<int>(std::lround(std::clamp(volume, 0.0, 1.0) * 100)));
  service_->command_done();
}

qlonglong MprisPlayerAdaptor::position() const {
  return qlonglong(service_->controls().position()) * kMicroseconds;
}

void MprisPlayerAdaptor::Next() {
  service_->controls().next();
  service_->command_done();
}

void MprisPlayerAdaptor::Previous() {
  service_->controls().previous();
  service_->command_done();
}

void MprisPlayerAdaptor::Pause() {
  service_->controls().pause();
  service_->command_done();
}

void MprisPlayerAdaptor::PlayPause() {
  service_->controls().play_pause();
  service_->command_done();
}

void MprisPlayerAdaptor::Stop() {
  service_->controls().stop();
  service_->command_done();
}

void MprisPlayerAdaptor::Play() {
  service_->controls().play();
  service_->command_done();
}

void MprisPlayerAdaptor::Seek(qlonglong offset) {
  if (!service_->state().can_seek) return;
  MediaControls& controls = service_->controls();
  controls.seek_to(controls.position() + seconds_of(offset));
  emit Seeked(position());
  service_->command_done();
}

void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath& track, qlonglong position) {
  const MediaState& state = service_->state();
  // A request for another item than the one loaded, or a position outside it, is stale.
  if (!state.can_seek || track != MprisService::track_path(state.item)) return;
  if (position < 0 || position > qlonglong(state.length) * kMicroseconds) return;
  service_->controls().seek_to(seconds_of(position));
  emit Seeked(this->position());
  service_->command_done();
}

void MprisPlayerAdaptor::OpenUri(const QString& uri) {
  const QUrl url(uri);
  // A local file is played by its path, as the file manager would hand it over; every other
  // address goes on as it came.
  const QString address = url.isLocalFile() ? url.toLocalFile() : uri;
  if (address.isEmpty()) return;
  service_->controls().open(address.toStdString());
  service_->command_done();
}

}  // namespace pelmora::platform::qt
