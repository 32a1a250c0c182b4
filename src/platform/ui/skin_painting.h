#pragma once

// Painting with the skin: colours and rectangles of the model, the skin's pictures and the
// cells the program copies from them, the focus mark.
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
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/controls.h"
#include "platform/form.h"

namespace pelmora::platform::qt {

QColor color_of(Color bgr);
QRect rect_of(const Rect& rect);
// A picture by the name the program gives it: a skin resource number ("101") or a file path.
// On a screen with more than one device pixel to a pixel the skin's bitmaps drawn at twice the
// density ("101@2x.png") are taken where the program carries them, so the chrome stays sharp.
const QPixmap& picture_pixmap(const std::string& name);
// The picture box a recorded copy came from: "ppt(12)" is element 12 of the array "ppt".
const PictureBox* source_box(const Form& form, const std::string& source);
// Draws the cells the program copied onto a surface, from the skin pictures they came from.
void paint_cells(QPainter& painter, const Form& form, const std::vector<CellCopy>& cells);
// The focus mark: a frame around the control in the skin's highlight colour with a light line
// inside it, so it shows on the highlighted (selected) cells too.
void paint_focus_mark(QPainter& painter, const QWidget& widget, Color color);

}  // namespace pelmora::platform::qt
