// Draws Pelmora's default skin: the 21 bitmaps 101.png ... 121.png that the main window cuts its
// frame, bars and buttons from, each at the size and with the cells the window expects, and a
// contact sheet that shows them all at twice their size with their numbers.
//
// Usage: skin-generator OUTPUT_FOLDER CONTACT_SHEET.png   (run by scripts/make-skin.sh)
//        skin-generator --preview SKIN_FOLDER MOCK.png   (a mock window made of the bitmaps)

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// ---- Palette ----------------------------------------------------------------------------------
const QColor kEdge(0x0c, 0x0c, 0x0c);       // the window's outer line
const QColor kEdgeLight(0x3a, 0x3a, 0x3a);  // the highlight just inside it
const QColor kBody(0x21, 0x21, 0x21);       // the frame and the tab area
const QColor kSeparator(0x16, 0x16, 0x16);
const QColor kGlyph(0xb8, 0xb8, 0xb8);  // glyphs and labels at rest
const QColor kGlyphHover(0xff, 0xff, 0xff);
const QColor kLabel(0x9a, 0x9a, 0x9a);
const QColor kHoverBack(0x3e, 0x3e, 0x3e);
const QColor kAccent(0xf0, 0x8a, 0x2a);  // the program's orange
const QColor kAccentLight(0xff, 0xa8, 0x55);
const QColor kCloseHover(0xc8, 0x32, 0x28);

QColor mix(const QColor& a, const QColor& b, double t) {
  return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t,
                          a.greenF() + (b.greenF() - a.greenF()) * t,
                          a.blueF() + (b.blueF() - a.blueF()) * t);
}

// The caption band of the normal window (rows 0-28 of the top band) and of the compact window.
QColor caption_row(int y) {
  return mix(QColor(0x30, 0x30, 0x30), QColor(0x23, 0x23, 0x23), std::clamp(y / 28.0, 0.0, 1.0));
}
// The bottom bar of the playback pane, 31 rows, from a light top line down to dark.
QColor bottom_bar_row(int y) {
  if (y == 0) return QColor(0x40, 0x40, 0x40);
  return mix(QColor(0x31, 0x31, 0x31), QColor(0x1c, 0x1c, 0x1c), (y - 1) / 29.0);
}
// The side panel's header bar, 28 rows.
QColor header_row(int y) {
  if (y == 27) return kSeparator;
  return mix(QColor(0x2e, 0x2e, 0x2e), QColor(0x24, 0x24, 0x24), y / 26.0);
}

// Fills `rect` of the painter's image row by row with a background that depends on the row;
// `first_row` is the row of the window the rectangle's top shows.
void fill_rows(QPainter& p, const QRect& rect, int first_row,
               const std::function<QColor(int)>& row) {
  for (int y = 0; y < rect.height(); ++y) {
    p.fillRect(QRect(rect.left(), rect.top() + y, rect.width(), 1), row(first_row + y));
  }
}

QFont ui_font(int pixels, bool bold = false) {
  QFont font("Noto Sans CJK SC");
  font.setPixelSize(pixels);
  font.setBold(bold);
  font.setHintingPreference(QFont::PreferFullHinting);
  return font;
}

QPen pen(const QColor& color, double width) {
  QPen result(color, width);
  result.setCapStyle(Qt::RoundCap);
  result.setJoinStyle(Qt::RoundJoin);
  return result;
}

// Pixels per bitmap pixel: 1 for the skin itself, 2 for its cells on screens of twice the
// density ("101@2x.png" ...). Every picture is drawn in the skin's own coordinates; a painter on
// an image of twice the size with a device pixel ratio of 2 draws the same shapes at the finer
// grid, so lines and text stay sharp instead of being scaled up.
int g_scale = 1;

QImage new_image(int width, int height) {
  QImage image(width * g_scale, height * g_scale, QImage::Format_ARGB32);
  image.setDevicePixelRatio(g_scale);
  image.fill(kBody);
  return image;
}

// ---- Caption buttons (24 x 24) -----------------------------------------------------------------
enum class CaptionGlyph {
  kCompact,
  kSkin,
  kMenu,
  kMinimise,
  kMaximise,
  kClose,
  kRestore,
  kPin,
  kPinned
};

void draw_caption_glyph(QPainter& p, const QRectF& cell, CaptionGlyph glyph, const QColor& color) {
  const QPointF c = cell.center();
  p.setBrush(Qt::NoBrush);
  p.setPen(pen(color, 1.6));
  switch (glyph) {
    case CaptionGlyph::kCompact:  // a small picture inside a large one
      p.drawRect(QRectF(c.x() - 7, c.y() - 5.5, 14, 11));
      p.setBrush(color);
      p.setPen(Qt::NoPen);
      p.drawRect(QRectF(c.x() + 0.5, c.y() + 0.5, 5, 3.5));
      break;
    case CaptionGlyph::kSkin: {  // a T-shirt: change the look
      QPainterPath shirt;
      shirt.moveTo(c.x() - 3, c.y() - 6);
      shirt.lineTo(c.x() - 7, c.y() - 3.5);
      shirt.lineTo(c.x() - 5.5, c.y() - 0.5);
      shirt.lineTo(c.x() - 4, c.y() - 1.5);
      shirt.lineTo(c.x() - 4, c.y() + 6);
      shirt.lineTo(c.x() + 4, c.y() + 6);
      shirt.lineTo(c.x() + 4, c.y() - 1.5);
      shirt.lineTo(c.x() + 5.5, c.y() - 0.5);
      shirt.lineTo(c.x() + 7, c.y() - 3.5);
      shirt.lineTo(c.x() + 3, c.y() - 6);
      shirt.quadTo(c.x(), c.y() - 3.5, c.x() - 3, c.y() - 6);
      p.setPen(pen(color, 1.3));
      p.drawPath(shirt);
      break;
    }
    case CaptionGlyph::kMenu:  // three lines
      for (int i = -1; i <= 1; ++i)
        p.drawLine(QPointF(c.x() - 6, c.y() + i * 4.5), QPointF(c.x() + 6, c.y() + i * 4.5));
      break;
    case CaptionGlyph::kMinimise:
      p.drawLine(QPointF(c.x() - 6, c.y() + 4), QPointF(c.x() + 6, c.y() + 4));
      break;
    case CaptionGlyph::kMaximise:
      p.drawRect(QRectF(c.x() - 6, c.y() - 6, 12, 12));
      p.drawLine(QPointF(c.x() - 6, c.y() - 4.5), QPointF(c.x() + 6, c.y() - 4.5));
      break;
    case CaptionGlyph::kRestore:
      p.drawRect(QRectF(c.x() - 6, c.y() - 2.5, 9, 9));
      p.drawPolyline(QPolygonF({QPointF(c.x() - 3, c.y() - 2.5), QPointF(c.x() - 3, c.y() - 6),
                                QPointF(c.x() + 6, c.y() - 6), QPointF(c.x() + 6, c.y() + 3),
                                QPointF(c.x() + 3, c.y() + 3)}));
      break;
    case CaptionGlyph::kClose:
      p.setPen(pen(color, 1.8));
      p.drawLine(QPointF(c.x() - 5.5, c.y() - 5.5), QPointF(c.x() + 5.5, c.y() + 5.5));
      p.drawLine(QPointF(c.x() + 5.5, c.y() - 5.5), QPointF(c.x() - 5.5, c.y() + 5.5));
      break;
    case CaptionGlyph::kPin:
    case CaptionGlyph::kPinned: {  // a push pin, tilted while free, upright and filled when on top
      p.save();
      p.translate(c);
      if (glyph == CaptionGlyph::kPin) p.rotate(40);
      QPainterPath head;
      head.addRoundedRect(QRectF(-3.5, -7, 7, 6), 1.5, 1.5);
      p.setPen(pen(color, 1.4));
      if (glyph == CaptionGlyph::kPinned) p.setBrush(color);
      p.drawPath(head);
      p.drawLine(QPointF(-6, -1), QPointF(6, -1));
      p.setBrush(Qt::NoBrush);
      p.drawLine(QPointF(0, -1), QPointF(0, 7));
      p.restore();
      break;
    }
  }
}

// One caption cell at (x, 0): the caption band behind it, a rounded lit square under the pointer.
void caption_cell(QPainter& p, int x, CaptionGlyph glyph, bool hover, bool close = false,
                  bool accent = false) {
  const QRect cell(x, 0, 24, 24);
  fill_rows(p, cell, 4, caption_row);  // the buttons sit 4 pixels below the window's top
  if (hover) {
    p.setPen(Qt::NoPen);
    p.setBrush(close ? kCloseHover : kHoverBack);
    p.drawRoundedRect(QRectF(cell).adjusted(1, 1, -1, -1), 3, 3);
  }
  const QColor color = accent ? (hover ? kAccentLight : kAccent) : hover ? kGlyphHover : kGlyph;
  draw_caption_glyph(p, cell, glyph, color);
}

QImage caption_strip(bool hover) {
  QImage image = new_image(144, 24);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  caption_cell(p, 0, CaptionGlyph::kCompact, hover);
  caption_cell(p, 24, CaptionGlyph::kSkin, hover);
  caption_cell(p, 48, CaptionGlyph::kMenu, hover);
  caption_cell(p, 72, CaptionGlyph::kMinimise, hover);
  caption_cell(p, 96, CaptionGlyph::kMaximise, hover);
  caption_cell(p, 120, CaptionGlyph::kClose, hover, true);
  return image;
}

// ---- The frame (80 x 120)
// ------------------------------------------------------------------------ The window cuts its
// normal frame from this picture like a nine-slice image (corners 40/30 x 105 at the top, 35 x 5 at
// the bottom, sides from rows 105-114, the top band from x 40-49) and its compact frame from the
// same picture (7-pixel borders from rows 0-19, 78-87 and 23-29). Row 29 is the line under the
// caption row and, in compact mode, the window's bottom edge.
QColor frame_row(int y) {
  if (y <= 28) return caption_row(y);
  if (y == 29) return kSeparator;
  if (y < 100) return kBody;
  if (y < 104) return mix(QColor(0x1e, 0x1e, 0x1e), QColor(0x19, 0x19, 0x19), (y - 100) / 3.0);
  if (y == 104) return QColor(0x14, 0x14, 0x14);
  if (y < 119) return kBody;
  return kEdge;
}

QImage frame_source() {
  QImage image = new_image(80, 120);
  QPainter p(&image);
  fill_rows(p, QRect(0, 0, 80, 120), 0, frame_row);
  // Outer line and its highlight on both sides, the bottom row and the top row.
  p.fillRect(QRect(0, 0, 1, 120), kEdge);
  p.fillRect(QRect(79, 0, 1, 120), kEdge);
  p.fillRect(QRect(1, 1, 1, 118), kEdgeLight);
  p.fillRect(QRect(78, 1, 1, 118), kEdgeLight);
  p.fillRect(QRect(0, 0, 80, 1), kEdge);
  p.fillRect(QRect(1, 1, 78, 1), QColor(0x44, 0x44, 0x44));
  p.fillRect(QRect(1, 118, 78, 1), QColor(0x2a, 0x2a, 0x2a));
  // The compact bottom edge comes from rows 23-29: its last row is the window's outer line.
  p.fillRect(QRect(2, 28, 76, 1), QColor(0x2a, 0x2a, 0x2a));
  // The program's name runs up the left margin beside the tab strip, in x 7-14: the tabs cover
  // the window from x 15, and the compact frame's sides (x 0-6, rows 78-87) must stay plain.
  p.setRenderHint(QPainter::TextAntialiasing);
  p.save();
  p.translate(14.5, 98);
  p.rotate(-90);
  QFont font = ui_font(9, true);
  font.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
  p.setFont(font);
  p.setPen(QColor(0x66, 0x66, 0x66));
  p.drawText(QRectF(0, -8, 62, 8), Qt::AlignLeft | Qt::AlignVCenter, "PELMORA");
  p.restore();
  fill_rows(p, QRect(2, 30, 5, 70), 30, frame_row);
  // A small orange mark above the name.
  p.fillRect(QRect(9, 32, 4, 4), kAccent);
  return image;
}

// ---- Tabs (348 x 69, six 58 x 69 cells)
// ----------------------------------------------------------
enum class TabIcon { kLibrary, kPlayback, kTv, kMusic, kRecommend, kNovels };

void draw_tab_icon(QPainter& p, const QPointF& c, TabIcon icon, const QColor& color) {
  p.setPen(pen(color, 1.8));
  p.setBrush(Qt::NoBrush);
  switch (icon) {
    case TabIcon::kLibrary: {  // a clapperboard
      p.drawRoundedRect(QRectF(c.x() - 11, c.y() - 4, 22, 15), 2, 2);
      QPainterPath top;
      top.moveTo(c.x() - 11, c.y() - 5);
      top.lineTo(c.x() + 10, c.y() - 12);
      p.drawPath(top);
      p.drawLine(QPointF(c.x() - 11, c.y() - 5), QPointF(c.x() - 11, c.y() - 3));
      for (int i = 0; i < 3; ++i) {
        const double x = c.x() - 6 + i * 7;
        p.drawLine(QPointF(x, c.y() - 6.5 - i * 2.3), QPointF(x + 3, c.y() - 4));
      }
      break;
    }
    case TabIcon::kPlayback: {  // a play triangle in a ring
      p.drawEllipse(c, 12, 12);
      p.setPen(Qt::NoPen);
      p.setBrush(color);
      p.drawPolygon(QPolygonF({QPointF(c.x() - 4, c.y() - 6.5), QPointF(c.x() + 7, c.y()),
                               QPointF(c.x() - 4, c.y() + 6.5)}));
      break;
    }
    case TabIcon::kTv:  // a television with its aerial
      p.drawRoundedRect(QRectF(c.x() - 12, c.y() - 6, 24, 17), 2.5, 2.5);
      p.drawLine(QPointF(c.x() - 5, c.y() - 13), QPointF(c.x(), c.y() - 7));
      p.drawLine(QPointF(c.x() + 5, c.y() - 13), QPointF(c.x(), c.y() - 7));
      p.drawLine(QPointF(c.x() - 5, c.y() + 14), QPointF(c.x() + 5, c.y() + 14));
      break;
    case TabIcon::kMusic: {  // two beamed notes
      p.setBrush(color);
      p.setPen(Qt::NoPen);
      p.drawEllipse(QPointF(c.x() - 6, c.y() + 8), 4, 3.2);
      p.drawEllipse(QPointF(c.x() + 7, c.y() + 5), 4, 3.2);
      p.setPen(pen(color, 2));
      p.drawLine(QPointF(c.x() - 2.5, c.y() + 8), QPointF(c.x() - 2.5, c.y() - 9));
      p.drawLine(QPointF(c.x() + 10.5, c.y() + 5), QPointF(c.x() + 10.5, c.y() - 12));
      p.setPen(pen(color, 3.2));
      p.drawLine(QPointF(c.x() - 2.5, c.y() - 9), QPointF(c.x() + 10.5, c.y() - 12));
      break;
    }
    case TabIcon::kRecommend: {  // a star
      QPolygonF star;
      for (int i = 0; i < 10; ++i) {
        const double r = i % 2 == 0 ? 12.5 : 5.2;
        const double a = -M_PI / 2 + i * M_PI / 5;
        star << QPointF(c.x() + r * std::cos(a), c.y() + 1 + r * std::sin(a));
      }
      p.drawPolygon(star);
      break;
    }
    case TabIcon::kNovels: {  // an open book
      QPainterPath book;
      book.moveTo(c.x(), c.y() - 7);
      book.quadTo(c.x() - 6, c.y() - 11, c.x() - 12, c.y() - 9);
      book.lineTo(c.x() - 12, c.y() + 9);
      book.quadTo(c.x() - 6, c.y() + 7, c.x(), c.y() + 11);
      book.quadTo(c.x() + 6, c.y() + 7, c.x() + 12, c.y() + 9);
      book.lineTo(c.x() + 12, c.y() - 9);
      book.quadTo(c.x() + 6, c.y() - 11, c.x(), c.y() - 7);
      book.lineTo(c.x(), c.y() + 11);
      p.drawPath(book);
      break;
    }
  }
}

QImage tab_strip(bool selected) {
  struct Tab {
    TabIcon icon;
    const char* label;
  };
  // Cells in the order the window cuts them: film library, playback, TV, music,
  // recommendations, novels.
  const Tab tabs[] = {{TabIcon::kLibrary, "片库"},   {TabIcon::kPlayback, "播放"},
                      {TabIcon::kTv, "电视"},        {TabIcon::kMusic, "音乐"},
                      {TabIcon::kRecommend, "推荐"}, {TabIcon::kNovels, "小说"}};
  QImage image = new_image(348, 69);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  for (int i = 0; i < 6; ++i) {
    const QRectF cell(i * 58, 0, 58, 69);
    if (selected) {
      QLinearGradient light(cell.topLeft(), cell.bottomLeft());
      light.setColorAt(0, QColor(0x3c, 0x3c, 0x3c));
      light.setColorAt(1, QColor(0x2c, 0x2c, 0x2c));
      p.setPen(Qt::NoPen);
      p.setBrush(light);
      p.drawRoundedRect(cell.adjusted(2, 2, -2, 0), 5, 5);
      p.setBrush(kAccent);
      p.drawRect(QRectF(cell.left() + 8, 66, 42, 3));
    }
    const QColor icon_color = selected ? kAccentLight : kGlyph;
    draw_tab_icon(p, QPointF(cell.center().x(), 24), tabs[i].icon, icon_color);
    p.setFont(ui_font(13, selected));
    p.setPen(selected ? kGlyphHover : kLabel);
    p.drawText(QRectF(cell.left(), 43, 58, 18), Qt::AlignCenter, QString::fromUtf8(tabs[i].label));
  }
  return image;
}

// ---- Side panel: sub-tabs (180 x 42), header (2 x 28), toggle (6 x 40) -------------------------
QImage side_tabs() {
  const char* labels[] = {"正在播放", "网络任务", "本地列表"};
  QImage image = new_image(180, 42);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  for (int row = 0; row < 2; ++row) {
    const bool selected = row == 0;
    for (int column = 0; column < 3; ++column) {
      const QRect cell(column * 60, row * 21, 60, 21);
      fill_rows(p, cell, 4, header_row);  // the sub-tabs sit 4 pixels down the header bar
      if (selected) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x46, 0x46, 0x46));
        p.drawRoundedRect(QRectF(cell).adjusted(1, 1, -1, -1), 3, 3);
        p.setBrush(kAccent);
        p.drawRect(QRectF(cell.left() + 10, cell.bottom() - 1, 40, 2));
      }
      p.setFont(ui_font(11, selected));
      p.setPen(selected ? kGlyphHover : kLabel);
      p.drawText(QRectF(cell).adjusted(0, -1, 0, -1), Qt::AlignCenter,
                 QString::fromUtf8(labels[column]));
    }
  }
  return image;
}

QImage header_bar() {
  QImage image = new_image(2, 28);
  QPainter p(&image);
  fill_rows(p, QRect(0, 0, 2, 28), 0, header_row);
  return image;
}

// A 3-pixel column with a small chevron: ">" while the panel is shown (a click folds it away to
// the right), "<" in orange while it is hidden.
QImage side_toggle() {
  QImage image = new_image(6, 40);
  QPainter p(&image);
  p.fillRect(QRect(0, 0, 3, 40), QColor(0x38, 0x38, 0x38));
  p.fillRect(QRect(3, 0, 3, 40), QColor(0x4a, 0x34, 0x22));
  const int shown[][2] = {{0, 16}, {1, 17}, {2, 18}, {2, 19}, {1, 20}, {0, 21}};
  const int hidden[][2] = {{2, 16}, {1, 17}, {0, 18}, {0, 19}, {1, 20}, {2, 21}};
  for (const auto& dot : shown) p.fillRect(QRect(dot[0], dot[1], 1, 1), kGlyph);
  for (const auto& dot : hidden) p.fillRect(QRect(3 + dot[0], dot[1], 1, 1), kAccentLight);
  return image;
}

// ---- Transport bar ------------------------------------------------------------------------------
enum class Transport {
  kPlay,
  kPause,
  kStop,
  kSound,
  kMuted,
  kPrevious,
  kNext,
  kOpen,
  kFullScreen,
  kSidePanel,
  kShutdown
};

void draw_transport_glyph(QPainter& p, const QRectF& cell, Transport glyph, const QColor& color) {
  const QPointF c = cell.center();
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  switch (glyph) {
    case Transport::kPlay:
      p.drawPolygon(QPolygonF({QPointF(c.x() - 4, c.y() - 7), QPointF(c.x() + 8, c.y()),
                               QPointF(c.x() - 4, c.y() + 7)}));
      break;
    case Transport::kPause:
      p.drawRoundedRect(QRectF(c.x() - 6, c.y() - 7, 4, 14), 1, 1);
      p.drawRoundedRect(QRectF(c.x() + 2, c.y() - 7, 4, 14), 1, 1);
      break;
    case Transport::kStop:
      p.drawRoundedRect(QRectF(c.x() - 5.5, c.y() - 5.5, 11, 11), 1.5, 1.5);
      break;
    case Transport::kSound:
    case Transport::kMuted: {
      QPolygonF speaker({QPointF(c.x() - 8, c.y() - 3), QPointF(c.x() - 5, c.y() - 3),
                         QPointF(c.x() - 1, c.y() - 7), QPointF(c.x() - 1, c.y() + 7),
                         QPointF(c.x() - 5, c.y() + 3), QPointF(c.x() - 8, c.y() + 3)});
      p.drawPolygon(speaker);
      p.setBrush(Qt::NoBrush);
      if (glyph == Transport::kSound) {
        p.setPen(pen(color, 1.5));
        p.drawArc(QRectF(c.x() - 5, c.y() - 4, 8, 8), -50 * 16, 100 * 16);
        p.drawArc(QRectF(c.x() - 7, c.y() - 7.5, 14, 15), -50 * 16, 100 * 16);
      } else {
        p.setPen(pen(QColor(0xe0, 0x50, 0x40), 1.8));
        p.drawLine(QPointF(c.x() + 2, c.y() - 3.5), QPointF(c.x() + 8, c.y() + 3.5));
        p.drawLine(QPointF(c.x() + 8, c.y() - 3.5), QPointF(c.x() + 2, c.y() + 3.5));
      }
      break;
    }
    case Transport::kPrevious:
      p.drawRect(QRectF(c.x() - 7, c.y() - 6, 2, 12));
      p.drawPolygon(QPolygonF({QPointF(c.x() + 7, c.y() - 6), QPointF(c.x() - 4, c.y()),
                               QPointF(c.x() + 7, c.y() + 6)}));
      break;
    case Transport::kNext:
      p.drawRect(QRectF(c.x() + 5, c.y() - 6, 2, 12));
      p.drawPolygon(QPolygonF({QPointF(c.x() - 7, c.y() - 6), QPointF(c.x() + 4, c.y()),
                               QPointF(c.x() - 7, c.y() + 6)}));
      break;
    case Transport::kOpen: {  // a folder
      QPainterPath folder;
      folder.moveTo(c.x() - 8, c.y() + 6);
      folder.lineTo(c.x() - 8, c.y() - 6);
      folder.lineTo(c.x() - 3, c.y() - 6);
      folder.lineTo(c.x() - 1, c.y() - 4);
      folder.lineTo(c.x() + 6, c.y() - 4);
      folder.lineTo(c.x() + 6, c.y() - 1);
      p.setBrush(Qt::NoBrush);
      p.setPen(pen(color, 1.5));
      p.drawPath(folder);
      p.setBrush(color);
      p.setPen(Qt::NoPen);
      p.drawPolygon(QPolygonF({QPointF(c.x() - 8, c.y() + 6.5), QPointF(c.x() - 5, c.y() - 1),
                               QPointF(c.x() + 9, c.y() - 1), QPointF(c.x() + 6, c.y() + 6.5)}));
      break;
    }
    case Transport::kFullScreen: {  // four corners pointing out
      p.setBrush(Qt::NoBrush);
      p.setPen(pen(color, 1.8));
      const double a = 7, b = 3;
      for (int sx : {-1, 1}) {
        for (int sy : {-1, 1}) {
          p.drawPolyline(QPolygonF({QPointF(c.x() + sx * a, c.y() + sy * b),
                                    QPointF(c.x() + sx * a, c.y() + sy * a),
                                    QPointF(c.x() + sx * b, c.y() + sy * a)}));
        }
      }
      break;
    }
    case Transport::kSidePanel:  // a window with its right-hand panel
      p.setBrush(Qt::NoBrush);
      p.setPen(pen(color, 1.5));
      p.drawRoundedRect(QRectF(c.x() - 8, c.y() - 6.5, 16, 13), 1.5, 1.5);
      p.setBrush(color);
      p.setPen(Qt::NoPen);
      p.drawRect(QRectF(c.x() + 2, c.y() - 6.5, 6, 13));
      break;
    case Transport::kShutdown:  // the power symbol
      p.setBrush(Qt::NoBrush);
      p.setPen(pen(color, 1.8));
      p.drawArc(QRectF(c.x() - 7, c.y() - 6, 14, 14), 120 * 16, 300 * 16);
      p.drawLine(QPointF(c.x(), c.y() - 8), QPointF(c.x(), c.y()));
      break;
  }
}

// A 25 x 25 transport cell at (x, 0); transport buttons sit 3 pixels down the bottom bar.
void transport_cell(QPainter& p, int x, Transport glyph, bool hover, int width = 25,
                    int height = 25, int first_row = 3) {
  const QRect cell(x, 0, width, height);
  fill_rows(p, cell, first_row, bottom_bar_row);
  if (hover) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x48, 0x48, 0x48));
    p.drawRoundedRect(QRectF(cell).adjusted(1, 1, -1, -1), 4, 4);
  }
  draw_transport_glyph(p, cell, glyph, hover ? kGlyphHover : kGlyph);
}

// The big play / pause button, 50 x 30, one pixel down the bar: an orange pill.
void play_cell(QPainter& p, int x, Transport glyph, bool hover) {
  const QRect cell(x, 0, 50, 30);
  fill_rows(p, cell, 1, bottom_bar_row);
  // Flat colours, so the strip keeps to a small palette.
  p.setPen(QPen(QColor(0x8a, 0x44, 0x08), 1));
  p.setBrush(hover ? QColor(0xff, 0x9c, 0x3c) : QColor(0xe8, 0x7c, 0x1e));
  p.drawRoundedRect(QRectF(cell).adjusted(3.5, 2.5, -3.5, -2.5), 12, 12);
  draw_transport_glyph(p, QRectF(cell), glyph, Qt::white);
}

QImage strip(int width, int height, const std::function<void(QPainter&)>& draw) {
  QImage image = new_image(width, height);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  draw(p);
  return image;
}

// The volume bar's picture, 80 x 24, three pixels down the bar: a groove the knob runs in
// (the fill label covers it from the left at rows 11-12).
QImage volume_track() {
  return strip(80, 24, [](QPainter& p) {
    fill_rows(p, QRect(0, 0, 80, 24), 3, bottom_bar_row);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x12, 0x12, 0x12));
    p.drawRoundedRect(QRectF(2, 10, 76, 4), 2, 2);
    p.setBrush(QColor(0x3a, 0x3a, 0x3a));
    p.drawRect(QRectF(3, 13, 74, 1));
  });
}

// The volume knob, 10 x 10, at row 10 of the bar.
QImage volume_knob() {
  return strip(10, 10, [](QPainter& p) {
    fill_rows(p, QRect(0, 0, 10, 10), 10, bottom_bar_row);
    QRadialGradient ball(QPointF(4, 4), 6);
    ball.setColorAt(0, Qt::white);
    ball.setColorAt(1, QColor(0xc8, 0xc8, 0xc8));
    p.setPen(QPen(kAccent, 1.4));
    p.setBrush(ball);
    p.drawEllipse(QRectF(1, 1, 8, 8));
  });
}

// Two 45 x 38 badges with the program's name, at rest and lit (not drawn by the window shell).
QImage name_badges() {
  return strip(90, 38, [](QPainter& p) {
    for (int i = 0; i < 2; ++i) {
      const QRectF cell(i * 45, 0, 45, 38);
      p.fillRect(cell, kBody);
      p.setPen(Qt::NoPen);
      p.setBrush(i == 0 ? QColor(0x30, 0x30, 0x30) : QColor(0x44, 0x44, 0x44));
      p.drawRoundedRect(cell.adjusted(2, 2, -2, -2), 5, 5);
      p.setBrush(i == 0 ? kAccent : kAccentLight);
      p.drawPolygon(QPolygonF({QPointF(cell.left() + 17, 7), QPointF(cell.left() + 29, 14),
                               QPointF(cell.left() + 17, 21)}));
      p.setFont(ui_font(9, true));
      p.setPen(i == 0 ? kGlyph : kGlyphHover);
      p.drawText(QRectF(cell.left(), 22, 45, 13), Qt::AlignCenter, "Pelmora");
    }
  });
}

// ---- The program's icon ------------------------------------------------------------------------
// A square icon of `size` pixels for the desktop's menus and file managers: the program's orange
// play sign on a dark rounded tile with a lit rim, drawn for each size (not scaled from one), so
// the small ones keep whole-pixel edges.
QImage program_icon(int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const double s = size;
  const double inset = size <= 24 ? 0.5 : s / 32.0;
  const QRectF tile(inset, inset, s - 2 * inset, s - 2 * inset);
  QLinearGradient body(tile.topLeft(), tile.bottomLeft());
  body.setColorAt(0, QColor(0x3a, 0x3a, 0x3a));
  body.setColorAt(1, QColor(0x16, 0x16, 0x16));
  p.setPen(QPen(kEdge, size <= 24 ? 1.0 : s / 48.0));
  p.setBrush(body);
  p.drawRoundedRect(tile, s * 0.2, s * 0.2);
  if (size >= 32) {
    p.setPen(QPen(QColor(0x55, 0x55, 0x55), s / 64.0));
    p.setBrush(Qt::NoBrush);
    const double rim = s / 24.0;
    p.drawRoundedRect(tile.adjusted(rim, rim, -rim, -rim), s * 0.16, s * 0.16);
  }
  // The play sign, a little right of the centre so that it looks centred.
  const QPointF c(s * 0.53, s * 0.5);
  const double r = s * 0.27;
  QPolygonF play({QPointF(c.x() - r * 0.75, c.y() - r), QPointF(c.x() + r, c.y()),
                  QPointF(c.x() - r * 0.75, c.y() + r)});
  QLinearGradient orange(QPointF(0, c.y() - r), QPointF(0, c.y() + r));
  orange.setColorAt(0, kAccentLight);
  orange.setColorAt(1, kAccent);
  p.setPen(QPen(QColor(0x8a, 0x44, 0x08), size <= 24 ? 0.8 : s / 64.0, Qt::SolidLine, Qt::RoundCap,
                Qt::RoundJoin));
  p.setBrush(orange);
  p.drawPolygon(play);
  return image;
}

// ---- Output -------------------------------------------------------------------------------------
// Stores a bitmap as an 8-bit indexed PNG with its exact colours when it has no more than 256
// (all of the skin's 8-bit bitmaps), otherwise as 32-bit.
bool save(const QImage& image, const QString& path, bool eight_bit) {
  QImage out = image.convertToFormat(QImage::Format_RGB32);
  if (eight_bit) {
    QHash<QRgb, int> index;
    QList<QRgb> table;
    for (int y = 0; y < out.height(); ++y) {
      for (int x = 0; x < out.width(); ++x) {
        const QRgb rgb = out.pixel(x, y);
        if (!index.contains(rgb)) {
          index.insert(rgb, static_cast<int>(table.size()));
          table.push_back(rgb);
        }
      }
    }
    if (table.size() <= 256) {
      QImage indexed(out.size(), QImage::Format_Indexed8);
      indexed.setColorTable(table);
      for (int y = 0; y < out.height(); ++y) {
        for (int x = 0; x < out.width(); ++x) indexed.setPixel(x, y, index.value(out.pixel(x, y)));
      }
      return indexed.save(path, "PNG");
    }
    std::fprintf(stderr, "%s: %lld colours, kept at 32 bits\n", qPrintable(path),
                 static_cast<long long>(table.size()));
  }
  return out.save(path, "PNG");
}

struct Bitmap {
  int number;
  QImage image;
  bool eight_bit;
  const char* role;
};

QImage contact_sheet(const std::vector<Bitmap>& bitmaps) {
  const int scale = 2;
  const int sheet_width = 1000;
  const int margin = 16;
  const int label_height = 30;
  // Lay the bitmaps out in rows, left to right.
  struct Place {
    int x, y;
  };
  std::vector<Place> places;
  int x = margin, y = 56, row_height = 0;
  for (const Bitmap& b : bitmaps) {
    const int w = std::max(b.image.width() * scale, 120);
    const int h = b.image.height() * scale + label_height;
    if (x + w > sheet_width - margin) {
      x = margin;
      y += row_height + margin;
      row_height = 0;
    }
    places.push_back({x, y});
    x += w + margin;
    row_height = std::max(row_height, h);
  }
  QImage sheet(sheet_width, y + row_height + margin, QImage::Format_RGB32);
  sheet.fill(QColor(0xd9, 0xd9, 0xd9));
  QPainter p(&sheet);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.setFont(ui_font(18, true));
  p.setPen(QColor(0x20, 0x20, 0x20));
  p.drawText(QRect(margin, 12, sheet_width, 30), Qt::AlignLeft | Qt::AlignVCenter,
             QString::fromUtf8("Pelmora skin 0 — bitmaps 101-121 at twice their size"));
  for (std::size_t i = 0; i < bitmaps.size(); ++i) {
    const Bitmap& b = bitmaps[i];
    const Place at = places[i];
    p.setFont(ui_font(12, true));
    p.setPen(QColor(0x20, 0x20, 0x20));
    p.drawText(QRect(at.x, at.y, 400, 14), Qt::AlignLeft | Qt::AlignVCenter,
               QString("%1  ppt(%2)  %3×%4")
                   .arg(b.number)
                   .arg(b.number - 101)
                   .arg(b.image.width())
                   .arg(b.image.height()));
    p.setFont(ui_font(10));
    p.setPen(QColor(0x50, 0x50, 0x50));
    p.drawText(QRect(at.x, at.y + 14, 400, 13), Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromUtf8(b.role));
    const QImage scaled = b.image.scaled(b.image.width() * scale, b.image.height() * scale,
                                         Qt::IgnoreAspectRatio, Qt::FastTransformation);
    p.fillRect(QRect(at.x - 1, at.y + label_height - 1, scaled.width() + 2, scaled.height() + 2),
               QColor(0x90, 0x90, 0x90));
    p.drawImage(at.x, at.y + label_height, scaled);
  }
  return sheet;
}

// A mock of the main window composed from the written bitmaps by the window's own rules (frame
// pieces, caption row, tab strip, side panel, bottom bar), to check that the pieces meet.
QImage preview(const QString& folder, int W, int H) {
  std::vector<QImage> ppt;
  for (int i = 0; i < 21; ++i) ppt.push_back(QImage(QString("%1/%2.png").arg(folder).arg(101 + i)));
  QImage window(W, H, QImage::Format_RGB32);
  window.fill(Qt::black);
  QPainter p(&window);
  const auto copy = [&p](const QImage& from, QRect source, QRect to) {
    p.drawImage(to, from, source);
  };
  const QRect pieces[8][2] = {
      {{0, 105, 35, H - 105}, {0, 105, 35, 10}},  {{W - 35, 105, 35, H - 105}, {45, 105, 35, 10}},
      {{35, H - 5, W - 70, 5}, {35, 115, 10, 5}}, {{0, H - 5, 35, 5}, {0, 115, 35, 5}},
      {{W - 35, H - 5, 35, 5}, {45, 115, 35, 5}}, {{40, 0, W - 70, 105}, {40, 0, 10, 105}},
      {{0, 0, 40, 105}, {0, 0, 40, 105}},         {{W - 30, 0, 30, 105}, {50, 0, 30, 105}}};
  for (const auto& piece : pieces) copy(ppt[0], piece[1], piece[0]);
  const int caption_x[] = {120, 96, 72, 48, 0};
  for (int i = 0; i < 5; ++i) copy(ppt[1], {caption_x[i], 0, 24, 24}, {W - 32 - 24 * i, 4, 24, 24});
  copy(ppt[6], {0, 0, 24, 24}, {W - 32 - 24 * 5, 4, 24, 24});
  const int tab_x[] = {0, 58, 116, 174, 290, 232};
  for (int i = 0; i < 6; ++i)
    copy(i == 1 ? ppt[7] : ppt[8], {tab_x[i], 0, 58, 69}, {15 + 70 * i, 30, 58, 69});
  p.setFont(ui_font(12, true));
  p.setPen(Qt::white);
  p.drawText(QPoint(15, 20), "Pelmora 3.0");
  // Playback pane: player (black), side panel, bottom bar.
  const QRect zz(2, 105, W - 4, H - 107);
  p.fillRect(zz, QColor(0x05, 0x05, 0x05));
  const QRect l2(zz.right() + 1 - 202, zz.top(), 202, zz.height() - 31);
  p.fillRect(l2, QColor(0x21, 0x21, 0x21));
  copy(ppt[10], {0, 0, 2, 28}, {l2.left(), l2.top(), 203, 28});
  const int sub_x[] = {0, 60, 120};
  for (int i = 0; i < 3; ++i)
    copy(ppt[9], {sub_x[i], i == 1 ? 0 : 21, 60, 21},
         {l2.left() + 8 + 63 * i, l2.top() + 4, 60, 21});
  copy(ppt[11], {0, 0, 3, 40}, {l2.left(), zz.top() + (zz.height() - 31) / 2, 3, 40});
  const QRect foot(zz.left(), zz.bottom() + 1 - 31, zz.width(), 31);
  copy(ppt[3], {0, 0, 1, 31}, foot);
  const int middle = foot.left() + foot.width() / 2;
  copy(ppt[13], {0, 0, 25, 25}, {middle - 150, foot.top() + 3, 25, 25});
  copy(ppt[18], {0, 0, 25, 25}, {middle - 120, foot.top() + 3, 25, 25});
  copy(ppt[12], {0, 0, 50, 30}, {middle - 93, foot.top() + 1, 50, 30});
  copy(ppt[18], {50, 0, 25, 25}, {middle - 33, foot.top() + 3, 25, 25});
  copy(ppt[14], {0, 0, 25, 25}, {middle - 3, foot.top() + 3, 25, 25});
  copy(ppt[15], {0, 0, 80, 24}, {middle + 23, foot.top() + 3, 80, 24});
  p.fillRect(QRect(middle + 23, foot.top() + 14, 35, 2), QColor(0xf0, 0x8a, 0x2a));
  copy(ppt[19], {0, 0, 10, 10}, {middle + 23 + 35, foot.top() + 10, 10, 10});
  const int right_x[] = {75, 50, 25, 0};
  for (int i = 0; i < 4; ++i)
    copy(ppt[16], {right_x[i], 0, 25, 25}, {foot.left() + W - 47 - 26 * i, foot.top() + 3, 25, 25});
  return window;
}

// The 21 bitmaps of skin 0, drawn at the present scale.
std::vector<Bitmap> draw_skin() {
  std::vector<Bitmap> bitmaps;
  bitmaps.push_back({101, frame_source(), true, "frame"});
  bitmaps.push_back({102, caption_strip(false), true, "caption buttons"});
  bitmaps.push_back({103, caption_strip(true), true, "caption buttons, hover"});
  bitmaps.push_back(
      {104, strip(1, 31, [](QPainter& p) { fill_rows(p, QRect(0, 0, 1, 31), 0, bottom_bar_row); }),
       true, "bottom bar"});
  bitmaps.push_back(
      {105,
       strip(24, 24,
             [](QPainter& p) { caption_cell(p, 0, CaptionGlyph::kSkin, false, false, true); }),
       true, "skin button"});
  bitmaps.push_back({106,
                     strip(48, 24,
                           [](QPainter& p) {
                             caption_cell(p, 0, CaptionGlyph::kRestore, false);
                             caption_cell(p, 24, CaptionGlyph::kRestore, true);
                           }),
                     true, "restore"});
  bitmaps.push_back({107,
                     strip(96, 24,
                           [](QPainter& p) {
                             caption_cell(p, 0, CaptionGlyph::kPin, false);
                             caption_cell(p, 24, CaptionGlyph::kPin, true);
                             caption_cell(p, 48, CaptionGlyph::kPinned, false, false, true);
                             caption_cell(p, 72, CaptionGlyph::kPinned, true, false, true);
                           }),
                     true, "pin: free, free hover, on top, on top hover"});
  bitmaps.push_back({108, tab_strip(true), false, "tabs, selected and hover"});
  bitmaps.push_back({109, tab_strip(false), false, "tabs"});
  bitmaps.push_back({110, side_tabs(), true, "sub-tabs: selected row, normal row"});
  bitmaps.push_back({111, header_bar(), true, "side panel header"});
  bitmaps.push_back({112, side_toggle(), true, "side panel toggle: shown, hidden"});
  bitmaps.push_back({113,
                     strip(200, 30,
                           [](QPainter& p) {
                             play_cell(p, 0, Transport::kPlay, false);
                             play_cell(p, 50, Transport::kPlay, true);
                             play_cell(p, 100, Transport::kPause, false);
                             play_cell(p, 150, Transport::kPause, true);
                           }),
                     true, "play, pause"});
  bitmaps.push_back({114,
                     strip(50, 25,
                           [](QPainter& p) {
                             transport_cell(p, 0, Transport::kStop, false);
                             transport_cell(p, 25, Transport::kStop, true);
                           }),
                     true, "stop"});
  bitmaps.push_back({115,
                     strip(100, 25,
                           [](QPainter& p) {
                             transport_cell(p, 0, Transport::kSound, false);
                             transport_cell(p, 25, Transport::kSound, true);
                             transport_cell(p, 50, Transport::kMuted, false);
                             transport_cell(p, 75, Transport::kMuted, true);
                           }),
                     true, "sound, muted"});
  bitmaps.push_back({116, volume_track(), true, "volume bar"});
  const auto right_group = [](bool hover) {
    return strip(100, 25, [hover](QPainter& p) {
      transport_cell(p, 0, Transport::kShutdown, hover);
      transport_cell(p, 25, Transport::kOpen, hover);
      transport_cell(p, 50, Transport::kFullScreen, hover);
      transport_cell(p, 75, Transport::kSidePanel, hover);
    });
  };
  bitmaps.push_back({117, right_group(false), true, "shutdown, open, full screen, side panel"});
  bitmaps.push_back({118, right_group(true), true, "the same, hover"});
  bitmaps.push_back({119,
                     strip(100, 25,
                           [](QPainter& p) {
                             transport_cell(p, 0, Transport::kPrevious, false);
                             transport_cell(p, 25, Transport::kPrevious, true);
                             transport_cell(p, 50, Transport::kNext, false);
                             transport_cell(p, 75, Transport::kNext, true);
                           }),
                     true, "previous, next"});
  bitmaps.push_back({120, volume_knob(), true, "volume knob"});
  bitmaps.push_back({121, name_badges(), true, "name badge"});

  return bitmaps;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc == 4 && QString(argv[1]) == "--preview") {
    return preview(QString::fromLocal8Bit(argv[2]), 900, 560).save(QString::fromLocal8Bit(argv[3]))
               ? 0
               : 1;
  }
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER CONTACT_SHEET.png [ICON_FOLDER]\n", argv[0]);
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  const QString sheet_path = QString::fromLocal8Bit(argv[2]);

  const std::vector<Bitmap> bitmaps = draw_skin();
  bool ok = true;
  for (const Bitmap& b : bitmaps) {
    ok = save(b.image, QString("%1/%2.png").arg(folder).arg(b.number), b.eight_bit) && ok;
  }
  ok = contact_sheet(bitmaps).save(sheet_path, "PNG") && ok;
  // The same skin for screens of twice the density.
  g_scale = 2;
  for (const Bitmap& b : draw_skin()) {
    ok = save(b.image, QString("%1/%2@2x.png").arg(folder).arg(b.number), b.eight_bit) && ok;
  }
  g_scale = 1;
  if (argc == 4) {
    const QString icons = QString::fromLocal8Bit(argv[3]);
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
      ok = program_icon(size).save(QString("%1/pelmora-%2.png").arg(icons).arg(size), "PNG") && ok;
    }
  }
  return ok ? 0 : 1;
}
