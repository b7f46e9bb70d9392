#include "platform/gui/uChartSvg.h"

#include <QBuffer>
#include <QFile>
#include <QGraphicsView>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QTextItem>
#include <QTextStream>

namespace platform {
namespace {

QString Num(double v) { return QString::number(v, 'g', 6); }

QString Matrix(const QTransform& t) {
  return QString("matrix(%1 %2 %3 %4 %5 %6)")
      .arg(Num(t.m11()), Num(t.m12()), Num(t.m21()), Num(t.m22()), Num(t.dx()), Num(t.dy()));
}

QString PathData(const QPainterPath& path) {
  QString d;
  for (int i = 0; i < path.elementCount(); ++i) {
    const QPainterPath::Element e = path.elementAt(i);
    if (e.isMoveTo()) d += "M" + Num(e.x) + " " + Num(e.y);
    else if (e.isLineTo()) d += "L" + Num(e.x) + " " + Num(e.y);
    else if (e.isCurveTo() && i + 2 < path.elementCount()) {
      const QPainterPath::Element c2 = path.elementAt(i + 1), end = path.elementAt(i + 2);
      d += "C" + Num(e.x) + " " + Num(e.y) + " " + Num(c2.x) + " " + Num(c2.y) + " " + Num(end.x) + " " + Num(end.y);
      i += 2;
    }
  }
  return d;
}

class TSvgEngine : public QPaintEngine {
public:
  explicit TSvgEngine(QTextStream& out) : QPaintEngine(AllFeatures), Out(out) {}

  bool begin(QPaintDevice*) override { return true; }
  bool end() override {
    CloseClip();
    return true;
  }
  Type type() const override { return User; }
  void updateState(const QPaintEngineState&) override {}

  void drawPath(const QPainterPath& path) override { Element("<path d=\"" + PathData(path) + "\"", true); }
  void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override {
    QString list;
    for (int i = 0; i < count; ++i) list += Num(points[i].x()) + "," + Num(points[i].y()) + " ";
    const bool line = mode == PolylineMode;
    Element(QString(line ? "<polyline" : "<polygon") + " points=\"" + list.trimmed() + "\"", !line);
  }
  void drawPolygon(const QPoint* points, int count, PolygonDrawMode mode) override {
    QList<QPointF> f;
    for (int i = 0; i < count; ++i) f.append(points[i]);
    drawPolygon(f.constData(), count, mode);
  }
  void drawTextItem(const QPointF& p, const QTextItem& item) override {
    const QFont font = item.font();
    const QColor c = painter()->pen().color();
    Clip();
    Out << "<text x=\"" << Num(p.x()) << "\" y=\"" << Num(p.y()) << "\" transform=\""
        << Matrix(painter()->transform()) << "\" font-family=\"" << font.family().toHtmlEscaped()
        << "\" font-size=\"" << Num(font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF() * 96 / 72)
        << "\"" << (font.bold() ? " font-weight=\"bold\"" : "") << " fill=\"" << c.name() << "\""
        << Opacity("fill", c) << " xml:space=\"preserve\">" << item.text().toHtmlEscaped() << "</text>\n";
  }
  void drawPixmap(const QRectF& r, const QPixmap& pm, const QRectF& sr) override {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    pm.copy(sr.toRect()).save(&buffer, "PNG");
    Clip();
    Out << "<image x=\"" << Num(r.x()) << "\" y=\"" << Num(r.y()) << "\" width=\"" << Num(r.width())
        << "\" height=\"" << Num(r.height()) << "\" transform=\"" << Matrix(painter()->transform())
        << "\" href=\"data:image/png;base64," << png.toBase64() << "\"/>\n";
  }

private:
  static QString Opacity(const char* what, const QColor& c) {
    return c.alpha() == 255 ? QString() : QString(" %1-opacity=\"%2\"").arg(what, Num(c.alphaF()));
  }

  QString Stroke() const {
    const QPen pen = painter()->pen();
    if (pen.style() == Qt::NoPen || pen.color().alpha() == 0) return " stroke=\"none\"";
    const double width = pen.widthF() > 0 ? pen.widthF() : 1;
    QString s = QString(" stroke=\"%1\" stroke-width=\"%2\"").arg(pen.color().name(), Num(width)) +
                Opacity("stroke", pen.color());
    if (pen.isCosmetic()) s += " vector-effect=\"non-scaling-stroke\"";
    if (pen.style() != Qt::SolidLine) {
      QString dashes;
      for (const qreal d : pen.dashPattern()) dashes += Num(d * width) + " ";
      if (!dashes.isEmpty()) s += " stroke-dasharray=\"" + dashes.trimmed() + "\"";
    }
    return s;
  }

  QString Fill() const {
    const QBrush brush = painter()->brush();
    if (brush.style() == Qt::NoBrush || brush.color().alpha() == 0) return " fill=\"none\"";
    return " fill=\"" + brush.color().name() + "\"" + Opacity("fill", brush.color());
  }

  void Element(const QString& head, bool filled) {
    Clip();
    Out << head << " transform=\"" << Matrix(painter()->transform()) << "\"" << Stroke()
        << (filled ? Fill() : QString(" fill=\"none\"")) << "/>\n";
  }

  // The painter's clip as a rectangle in device coordinates: a group per clip while it holds.
  void Clip() {
    const QRectF clip = painter()->hasClipping()
                            ? painter()->transform().mapRect(painter()->clipBoundingRect())
                            : QRectF();
    if (clip == CurrentClip) return;
    CloseClip();
    CurrentClip = clip;
    if (clip.isNull()) return;
    ++ClipCount;
    Out << "<clipPath id=\"c" << ClipCount << "\"><rect x=\"" << Num(clip.x()) << "\" y=\""
        << Num(clip.y()) << "\" width=\"" << Num(clip.width()) << "\" height=\"" << Num(clip.height())
        << "\"/></clipPath>\n<g clip-path=\"url(#c" << ClipCount << ")\">\n";
    GroupOpen = true;
  }
  void CloseClip() {
    if (GroupOpen) Out << "</g>\n";
    GroupOpen = false;
    CurrentClip = QRectF();
  }

  QTextStream& Out;
  QRectF CurrentClip;
  int ClipCount = 0;
  bool GroupOpen = false;
};

class TSvgDevice : public QPaintDevice {
public:
  TSvgDevice(QTextStream& out, QSize size) : Engine(out), Size(size) {}
  QPaintEngine* paintEngine() const override { return &Engine; }

protected:
  int metric(PaintDeviceMetric m) const override {
    switch (m) {
    case PdmWidth: return Size.width();
    case PdmHeight: return Size.height();
    case PdmDpiX: case PdmDpiY: case PdmPhysicalDpiX: case PdmPhysicalDpiY: return 96;
    case PdmDepth: return 32;
    case PdmNumColors: return 1 << 24;
    case PdmDevicePixelRatio: return 1;
    case PdmDevicePixelRatioScaled: return static_cast<int>(devicePixelRatioFScale());
    default: return QPaintDevice::metric(m);
    }
  }

private:
  mutable TSvgEngine Engine;
  QSize Size;
};

} // namespace

bool WriteChartSvg(QGraphicsView& view, const QString& file) {
  QFile out(file);
  if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  QTextStream text(&out);
  const QSize size = view.viewport()->size();
  text << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\""
       << size.width() << "\" height=\"" << size.height() << "\" viewBox=\"0 0 " << size.width() << " "
       << size.height() << "\">\n";
  {
    TSvgDevice device(text, size);
    QPainter painter(&device);
    painter.setRenderHint(QPainter::Antialiasing);
    view.scene()->render(&painter, QRectF(QPointF(0, 0), size),
                         view.mapToScene(view.viewport()->rect()).boundingRect());
  }
  text << "</svg>\n";
  text.flush();
  return out.error() == QFileDevice::NoError;
}

} // namespace platform
