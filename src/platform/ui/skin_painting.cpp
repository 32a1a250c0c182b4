#include "platform/ui/skin_painting.h"

#include <algorithm>

#include <QtCore/QCoreApplication>
#include <QtCore/QPointer>
#include <QtCore/QTimer>
#include <QtGui/QCursor>
#include <QtGui/QFontMetrics>
#include <QtGui/QGuiApplication>
#include <QtGui/QKeyEvent>
#include <QtGui/QMouseEvent>
#include <QtGui/QPainter>
#include <QtGui/QPainterPath>
#include <QtGui/QPixmap>
#include <QtGui/QRegion>
#include <QtGui/QScreen>
#include <QtGui/QWheelEvent>
#include <QtGui/QWindow>
#include <QtWidgets/QApplication>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QMenu>
#include <QtWidgets/QPushButton>

namespace pelmora::platform::qt {

QColor color_of(Color bgr) {
  return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                static_cast<int>((bgr >> 16) & 0xFF));
}

QRect rect_of(const Rect& rect) {
  return QRect(rect.left, rect.top, rect.width, rect.height);
}

// A picture by the name the program gives it: a skin resource number ("101") or a file path.
// On a screen with more than one device pixel to a pixel the skin's bitmaps drawn at twice the
// density ("101@2x.png") are taken where the program carries them, so the chrome stays sharp.
const QPixmap& picture_pixmap(const std::string& name) {
  static std::map<std::string, QPixmap> cache;
  auto found = cache.find(name);
  if (found == cache.end()) {
    const QString resource = QString(":/resources/skin/%1").arg(QString::fromStdString(name));
    QPixmap pixmap;
    if (qApp->devicePixelRatio() > 1.0 && pixmap.load(resource + "@2x.png")) {
      pixmap.setDevicePixelRatio(2.0);
    }
    if (pixmap.isNull()) pixmap.load(resource + ".png");
    if (pixmap.isNull()) pixmap.load(QString::fromStdString(name));
    found = cache.emplace(name, pixmap).first;
  }
  return found->second;
}

// The picture box a recorded copy came from: "ppt(12)" is element 12 of the array "ppt".
const PictureBox* source_box(const Form& form, const std::string& source) {
  std::string name = source;
  int index = -1;
  if (const auto open = source.find('('); open != std::string::npos && source.back() == ')') {
    name = source.substr(0, open);
    index = std::atoi(source.c_str() + open + 1);
  }
  return dynamic_cast<const PictureBox*>(form.find(name, index));
}

void paint_cells(QPainter& painter, const Form& form, const std::vector<CellCopy>& cells) {
  for (const CellCopy& cell : cells) {
    const PictureBox* source = source_box(form, cell.source);
    if (source == nullptr || source->picture().empty()) continue;
    const QPixmap& pixmap = picture_pixmap(source->picture());
    if (pixmap.isNull()) continue;
    // The source rectangle counts the bitmap's own pixels: twice as many in a 2x bitmap.
    const qreal ratio = pixmap.devicePixelRatio();
    const QRectF from(cell.from.left * ratio, cell.from.top * ratio, cell.from.width * ratio,
                      cell.from.height * ratio);
    painter.drawPixmap(QRectF(rect_of(cell.to)), pixmap, from);
  }
}

// The focus mark: a frame around the control in the skin's highlight colour with a light line
// inside it, so it shows on the highlighted (selected) cells too.
void paint_focus_mark(QPainter& painter, const QWidget& widget, Color color) {
  const QRect outer = widget.rect().adjusted(0, 0, -1, -1);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(color_of(color), 1));
  painter.drawRect(outer);
  if (outer.width() > 4 && outer.height() > 4) {
    painter.setPen(QPen(QColor(255, 255, 255), 1, Qt::DotLine));
    painter.drawRect(outer.adjusted(1, 1, -1, -1));
  }
}

}  // namespace pelmora::platform::qt
