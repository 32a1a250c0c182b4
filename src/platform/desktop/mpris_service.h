#pragma once

#include <QtCore/QObject>
#include <QtCore/QStringList>
#include <QtCore/QVariantMap>
#include <QtDBus/QDBusAbstractAdaptor>
#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusObjectPath>
#include <cstdint>
#include <functional>

#include "platform/media_controls.h"

namespace pelmora::platform::qt {

// The program on the session bus as a media player the desktop can drive (media keys, sound
// menus, desktop widgets): bus name "org.mpris.MediaPlayer2.pelmora", object
// "/org/mpris/MediaPlayer2", the interfaces org.mpris.MediaPlayer2 and
// org.mpris.MediaPlayer2.Player. Every call is passed on to the program's MediaControls; the
// owner reports state changes through update(), which sends PropertiesChanged.
class MprisService : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* kServiceName = "org.mpris.MediaPlayer2.pelmora";
  static constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";

  // `after_command` runs after every command from the bus (the owner reads the state again).
  MprisService(MediaControls& controls, std::function<void()> after_command,
               QObject* parent = nullptr);
  ~MprisService() override;

  // Registers on the session bus; false when there is no bus or the names are taken.
  bool publish();
  // Sends PropertiesChanged for what differs between the two states.
  void update(const MediaState& now, const MediaState& before);

  // The track identifier of an item as the bus shows it.
  static QDBusObjectPath track_path(std::int64_t item);
  static QVariantMap metadata_of(const MediaState& state);

  MediaControls& controls() { return controls_; }
  const MediaState& state() const { return state_; }
  void command_done();

 private:
  MediaControls& controls_;
  std::function<void()> after_command_;
  MediaState state_;
  QString registered_name_;
};

// org.mpris.MediaPlayer2: the application as a whole.
class MprisRootAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
  Q_PROPERTY(bool CanQuit READ can_quit)
  Q_PROPERTY(bool CanRaise READ can_raise)
  Q_PROPERTY(bool HasTrackList READ has_track_list)
  Q_PROPERTY(QString Identity READ identity)
  Q_PROPERTY(QString DesktopEntry READ desktop_entry)
  Q_PROPERTY(QStringList SupportedUriSchemes READ uri_schemes)
  Q_PROPERTY(QStringList SupportedMimeTypes READ mime_types)

 public:
  explicit MprisRootAdaptor(MprisService* service);
  bool can_quit() const { return true; }
  bool can_raise() const { return true; }
  bool has_track_list() const { return false; }
  QString identity() const { return QStringLiteral("Pelmora"); }
  QString desktop_entry() const { return QStringLiteral("pelmora"); }
  QStringList uri_schemes() const;
  QStringList mime_types() const;

 public slots:
  void Raise();
  void Quit();

 private:
  MprisService* service_;
};

// org.mpris.MediaPlayer2.Player: the transport bar.
class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
  Q_PROPERTY(QString PlaybackStatus READ playback_status)
  Q_PROPERTY(double Rate READ rate WRITE set_rate)
  Q_PROPERTY(double MinimumRate READ rate)
  Q_PROPERTY(double MaximumRate READ rate)
  Q_PROPERTY(QVariantMap Metadata READ metadata)
  Q_PROPERTY(double Volume READ volume WRITE set_volume)
  Q_PROPERTY(qlonglong Position READ position)
  Q_PROPERTY(bool CanGoNext READ can_go_next)
  Q_PROPERTY(bool CanGoPrevious READ can_go_previous)
  Q_PROPERTY(bool CanPlay READ can_play)
  Q_PROPERTY(bool CanPause READ can_pause)
  Q_PROPERTY(bool CanSeek READ can_seek)
  Q_PROPERTY(bool CanControl READ can_control)

 public:
  explicit MprisPlayerAdaptor(MprisService* service);
  QString playback_status() const;
  double rate() const { return 1.0; }
  void set_rate(double) {}  // one speed only
  QVariantMap metadata() const;
  double volume() const;
  void set_volume(double volume);
  qlonglong position() const;
  bool can_go_next() const { return service_->state().can_go_next; }
  bool can_go_previous() const { return service_->state().can_go_previous; }
  bool can_play() const { return service_->state().can_play; }
  bool can_pause() const { return service_->state().can_pause; }
  bool can_seek() const { return service_->state().can_seek; }
  bool can_control() const { return true; }

 public slots:
  void Next();
  void Previous();
  void Pause();
  void PlayPause();
  void Stop();
  void Play();
  void Seek(qlonglong offset);
  void SetPosition(const QDBusObjectPath& track, qlonglong position);
  void OpenUri(const QString& uri);

 signals:
  void Seeked(qlonglong position);

 private:
  MprisService* service_;
};

// The MPRIS name of a playback status.
QString playback_status_name(PlaybackStatus status);

}  // namespace pelmora::platform::qt
