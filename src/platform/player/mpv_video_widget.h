#pragma once

#include <QtOpenGLWidgets/QOpenGLWidget>

struct mpv_handle;
struct mpv_render_context;

namespace pelmora::platform::qt {

// Draws mpv's picture with its OpenGL render API. The render context is made when the widget's
// GL context exists (the first time it is shown) and drawn into the widget's framebuffer. mpv
// asks for a new frame from its own threads; the request is queued back to this widget. While
// the widget cannot be painted (hidden, or its window not exposed yet) frames are still drawn
// into its framebuffer, so that mpv never waits for them.
class MpvVideoWidget : public QOpenGLWidget {
  Q_OBJECT

 public:
  // `handle` belongs to the player, which calls `release` before it destroys the handle.
  explicit MpvVideoWidget(mpv_handle* handle, QWidget* parent = nullptr);
  ~MpvVideoWidget() override;

  // The player's handle, once the player has made it (the widget may be made and shown
  // before): the render context is made now if the widget's GL context is there already.
  void set_handle(mpv_handle* handle);
  // Frees the render context; the widget draws nothing (black) from then on.
  void release();
  // True while a render context exists.
  bool rendering() const { return render_ != nullptr; }
  // Frames mpv has drawn into the widget so far.
  int frames_drawn() const { return frames_drawn_; }

 signals:
  // The render context was made: mpv can open a video output from now on.
  void render_ready();

 protected:
  void initializeGL() override;
  void paintGL() override;

 private:
  void frame_requested();
  void draw(int fbo);

  mpv_handle* handle_ = nullptr;
  mpv_render_context* render_ = nullptr;
  int frames_drawn_ = 0;
};

}  // namespace pelmora::platform::qt
