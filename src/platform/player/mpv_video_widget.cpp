#include "platform/player/mpv_video_widget.h"

#include <mpv/client.h>
#include <mpv/render_gl.h>

#include <QtCore/QMetaObject>
#include <QtGui/QOpenGLContext>
#include <QtGui/QOpenGLFunctions>
#include <QtGui/QWindow>

namespace pelmora::platform::qt {
namespace {

void* gl_address(void* context, const char* name) {
  auto* gl = static_cast<QOpenGLContext*>(context);
  return gl == nullptr ? nullptr : reinterpret_cast<void*>(gl->getProcAddress(name));
}

}  // namespace

MpvVideoWidget::MpvVideoWidget(mpv_handle* handle, QWidget* parent)
    : QOpenGLWidget(parent), handle_(handle) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

MpvVideoWidget::~MpvVideoWidget() {
  release();
}

void MpvVideoWidget::set_handle(mpv_handle* handle) {
  handle_ = handle;
  if (context() == nullptr || render_ != nullptr) return;
  makeCurrent();
  initializeGL();
  doneCurrent();
}

void MpvVideoWidget::release() {
  handle_ = nullptr;
  if (render_ == nullptr) return;
  // The render context's GL objects live in this widget's context.
  makeCurrent();
  mpv_render_context_set_update_callback(render_, nullptr, nullptr);
  mpv_render_context_free(render_);
  render_ = nullptr;
  doneCurrent();
}

void MpvVideoWidget::initializeGL() {
  if (render_ != nullptr || handle_ == nullptr) return;
  mpv_opengl_init_params gl_init{gl_address, QOpenGLContext::currentContext()};
  // The API type is passed as a writable string by the render API's parameter list.
  char api_type[] = MPV_RENDER_API_TYPE_OPENGL;
  mpv_render_param parameters[] = {
      {MPV_RENDER_PARAM_API_TYPE, api_type},
      {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &gl_init},
      {MPV_RENDER_PARAM_INVALID, nullptr},
  };
  if (mpv_render_context_create(&render_, handle_, parameters) < 0) {
    render_ = nullptr;
    return;
  }
  mpv_render_context_set_update_callback(
      render_,
      [](void* self) {
        auto* widget = static_cast<MpvVideoWidget*>(self);
        QMetaObject::invokeMethod(
            widget, [widget] { widget->frame_requested(); }, Qt::QueuedConnection);
      },
      this);
  emit render_ready();
}

void MpvVideoWidget::frame_requested() {
  if (render_ == nullptr) return;
  if ((mpv_render_context_update(render_) & MPV_RENDER_UPDATE_FRAME) == 0) return;
  const QWindow* shown = window()->windowHandle();
  if (isVisible() && shown != nullptr && shown->isExposed()) {
    update();
    return;
  }
  // Qt paints nothing until the window is shown and exposed, but mpv waits for each frame to be
  // taken: draw it into the framebuffer now.
  makeCurrent();
  draw(static_cast<int>(defaultFramebufferObject()));
  doneCurrent();
}

void MpvVideoWidget::paintGL() {
  if (render_ == nullptr) {
    auto* gl = QOpenGLContext::currentContext()->functions();
    gl->glClearColor(0, 0, 0, 1);
    gl->glClear(GL_COLOR_BUFFER_BIT);
    return;
  }
  draw(static_cast<int>(defaultFramebufferObject()));
}

void MpvVideoWidget::draw(int fbo) {
  const qreal ratio = devicePixelRatioF();
  mpv_opengl_fbo target{fbo, static_cast<int>(width() * ratio), static_cast<int>(height() * ratio),
                        0};
  int flip_y = 1;
  mpv_render_param parameters[] = {
      {MPV_RENDER_PARAM_OPENGL_FBO, &target},
      {MPV_RENDER_PARAM_FLIP_Y, &flip_y},
      {MPV_RENDER_PARAM_INVALID, nullptr},
  };
  mpv_render_context_render(render_, parameters);
  ++frames_drawn_;
}

}  // namespace pelmora::platform::qt
