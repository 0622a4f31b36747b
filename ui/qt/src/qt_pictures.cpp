// The pictures of the model: a file's own icon from the system, and the program's own images,
// drawn here so that nothing needs to be shipped or loaded for them.
#include <QApplication>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>
#include <functional>
#include <map>

#include "form_view.h"

namespace carvex::ui {

namespace {

const QColor kBlue(0x2a, 0x64, 0xa8);
const QColor kPaleBlue(0xc9, 0xd8, 0xec);
const QColor kCut(0xff, 0xb0, 0x20);
const QColor kGreen(0x2e, 0x9b, 0x4a);

using Drawing = std::function<void(QPainter&)>;

// Each drawing works on a 64 by 64 canvas, the same as data/carvex.svg for the program's icon.
QImage Render(const Drawing& drawing, int side) {
  QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(side / 64.0, side / 64.0);
  drawing(painter);
  painter.end();
  return image;
}

QIcon Draw(const Drawing& drawing) {
  QIcon icon;
  for (int side : {16, 24, 32, 48, 64, 128}) icon.addPixmap(QPixmap::fromImage(Render(drawing, side)));
  return icon;
}

void Page(QPainter& p, const QRectF& r, bool foldedCorner) {
  QPainterPath page;
  const qreal fold = foldedCorner ? r.width() * 0.3 : 0;
  page.moveTo(r.topLeft());
  page.lineTo(r.right() - fold, r.top());
  page.lineTo(r.right(), r.top() + fold);
  page.lineTo(r.bottomRight());
  page.lineTo(r.bottomLeft());
  page.closeSubpath();
  p.setPen(QPen(kBlue, 2.5));
  p.setBrush(Qt::white);
  p.drawPath(page);
  if (foldedCorner) {
    p.setBrush(kPaleBlue);
    p.drawPolygon(QPolygonF({QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold),
                             QPointF(r.right(), r.top() + fold)}));
  }
}

void CutLine(QPainter& p, qreal y, qreal from, qreal to) {
  QPen pen(kCut, 4);
  pen.setDashPattern({1.5, 1});
  p.setPen(pen);
  p.drawLine(QPointF(from, y), QPointF(to, y));
}

void Lines(QPainter& p, std::initializer_list<QLineF> lines) {
  p.setPen(QPen(kBlue, 2.5));
  for (const QLineF& line : lines) p.drawLine(line);
}

// The program: a page carved in two, the lower part moved aside, on a blue tile.
void DrawCarvex(QPainter& p) {
  p.setPen(Qt::NoPen);
  p.setBrush(kBlue);
  p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
  p.setBrush(Qt::white);
  p.drawPolygon(
      QPolygonF({QPointF(18, 10), QPointF(38, 10), QPointF(46, 18), QPointF(46, 29), QPointF(18, 29)}));
  p.setBrush(kPaleBlue);
  p.drawPolygon(QPolygonF({QPointF(38, 10), QPointF(38, 18), QPointF(46, 18)}));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(22, 35, 28, 21));
  CutLine(p, 32, 8, 56);
  Lines(p, {{22, 17, 34, 17}, {22, 23, 40, 23}, {26, 42, 46, 42}, {26, 48, 46, 48}});
}

void DrawSplit(QPainter& p) {
  Page(p, QRectF(14, 6, 36, 52), true);
  Lines(p, {{21, 18, 38, 18}, {21, 26, 43, 26}, {21, 42, 43, 42}, {21, 50, 36, 50}});
  CutLine(p, 34, 4, 60);
}

void DrawBuild(QPainter& p) {
  Page(p, QRectF(6, 4, 30, 26), false);
  Page(p, QRectF(28, 34, 30, 26), false);
  p.setPen(QPen(kGreen, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawLine(QPointF(21, 36), QPointF(21, 50));
  p.drawLine(QPointF(21, 50), QPointF(14, 43));
  p.drawLine(QPointF(21, 50), QPointF(28, 43));
}

void DrawPiece(QPainter& p) {
  Page(p, QRectF(12, 8, 40, 36), true);
  Lines(p, {{19, 20, 38, 20}, {19, 28, 44, 28}, {19, 36, 44, 36}});
  CutLine(p, 50, 8, 56);
}

void DrawZip(QPainter& p) {
  Page(p, QRectF(12, 4, 40, 56), true);
  p.setPen(Qt::NoPen);
  p.setBrush(kBlue);
  for (int y = 10; y < 44; y += 6) {
    p.drawRect(QRectF(27, y, 5, 3));
    p.drawRect(QRectF(32, y + 3, 5, 3));
  }
  p.drawRoundedRect(QRectF(26, 44, 12, 10), 2, 2);
}

void DrawFinished(QPainter& p) {
  p.setPen(Qt::NoPen);
  p.setBrush(kGreen);
  p.drawEllipse(QRectF(4, 4, 56, 56));
  p.setPen(QPen(Qt::white, 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPolyline(QPolygonF({QPointF(18, 33), QPointF(28, 43), QPointF(46, 22)}));
}

const std::map<std::string, Drawing>& Drawings() {
  static const std::map<std::string, Drawing> drawings = {
      {"carvex", DrawCarvex}, {"split", DrawSplit}, {"build", DrawBuild},
      {"piece", DrawPiece},   {"zip", DrawZip},     {"finished", DrawFinished},
  };
  return drawings;
}

QIcon ResourceIcon(const std::string& name) {
  static QHash<QString, QIcon> cache;
  const QString key = Q(name);
  if (const auto it = cache.constFind(key); it != cache.constEnd()) return *it;
  const auto drawing = Drawings().find(name);
  QIcon icon = drawing == Drawings().end() ? QApplication::style()->standardIcon(QStyle::SP_FileIcon)
                                           : Draw(drawing->second);
  cache.insert(key, icon);
  return icon;
}

QIcon FileIcon(const std::string& path) {
  static QFileIconProvider provider;
  static QHash<QString, QIcon> cache;
  const QString key = Q(path);
  if (const auto it = cache.constFind(key); it != cache.constEnd()) return *it;
  const QFileInfo info(key);
  QIcon icon = provider.icon(info);
  // No icon theme, or a file that is gone: the generic icon of its kind.
  if (icon.isNull())
    icon = provider.icon(info.isDir() ? QAbstractFileIconProvider::Folder : QAbstractFileIconProvider::File);
  cache.insert(key, icon);
  return icon;
}

}  // namespace

QIcon PictureIcon(const Picture& picture) {
  switch (picture.source) {
    case Picture::Source::kFileIcon:
      return FileIcon(picture.name);
    case Picture::Source::kResource:
      return ResourceIcon(picture.name);
    case Picture::Source::kNone:
      break;
  }
  return {};
}

QIcon ApplicationIcon() { return ResourceIcon("carvex"); }

QImage ResourceImage(const std::string& name, int side) {
  const auto drawing = Drawings().find(name);
  return drawing == Drawings().end() ? QImage() : Render(drawing->second, side);
}

}  // namespace carvex::ui
