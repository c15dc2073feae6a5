// The chart as a picture of its own, drawn from the run's data rather than
// grabbed off the screen: a fixed size, a title, the same axes, band, failure
// marks and histogram as on screen, as PNG or as SVG (vector lines and text,
// written without an SVG library).
#include "app/latencychart.h"

#include <QAreaSeries>
#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QFontMetricsF>
#include <QImage>
#include <QLineSeries>
#include <QPainter>
#include <QScatterSeries>
#include <QValueAxis>
#include <QXmlStreamWriter>

namespace {

QString number(double v) {
    return QString::number(v, 'f', 1);
}

// A plot's frame on the page and the axes it reads its values on.
struct Plot {
    QRectF frame;
    const QValueAxis* x;
    const QValueAxis* y;

    QPointF at(double vx, double vy) const {
        const double w = qMax(1e-9, x->max() - x->min()), h = qMax(1e-9, y->max() - y->min());
        return {frame.left() + (vx - x->min()) / w * frame.width(),
                frame.bottom() - (vy - y->min()) / h * frame.height()};
    }
};

} // namespace

// Where the picture is drawn: SVG elements or a painter's image. The
// drawing is the same; only these three strokes differ.
class ChartPage {
public:
    virtual ~ChartPage() = default;
    virtual void line(QPointF a, QPointF b, const QColor& stroke) = 0;
    // anchor: "start", "middle" or "end" of the text at `at` (its baseline).
    virtual void text(QPointF at, const QString& s, const char* anchor, bool upright = false,
                      int size = 11) = 0;
    virtual void polygon(const QList<QPointF>& points, const char* kind, const QColor& fill,
                         double opacity) = 0;

    // The frame, a grid line and a label at each tick of both axes, and the titles.
    void axes(const Plot& p, const QString& xTitle, const QString& yTitle, bool yLabels) {
        const QColor grid(0xd8, 0xd8, 0xd8), frame(0x40, 0x40, 0x40);
        const auto ticks = [](const QValueAxis* a) {
            QList<double> at;
            const double step = a->tickInterval() > 0 ? a->tickInterval() : a->max() - a->min();
            for (int i = 0; i <= 50 && a->min() + i * step <= a->max() + step * 1e-6; ++i)
                at << a->min() + i * step;
            return at;
        };
        for (double v : ticks(p.x)) {
            line(p.at(v, p.y->min()), p.at(v, p.y->max()), grid);
            text(p.at(v, p.y->min()) + QPointF(0, 14), QString::number(v, 'g', 6), "middle");
        }
        for (double v : ticks(p.y)) {
            line(p.at(p.x->min(), v), p.at(p.x->max(), v), grid);
            if (yLabels)
                text(p.at(p.x->min(), v) + QPointF(-4, 4), QString::number(v, 'g', 6), "end");
        }
        line(p.frame.bottomLeft(), p.frame.bottomRight(), frame);
        line(p.frame.bottomLeft(), p.frame.topLeft(), frame);
        text(QPointF(p.frame.center().x(), p.frame.bottom() + 32), xTitle, "middle");
        if (!yTitle.isEmpty())
            text(QPointF(p.frame.left() - 38, p.frame.center().y()), yTitle, "middle", true);
    }
};

class SvgPage : public ChartPage {
public:
    explicit SvgPage(QIODevice* out) : m_xml(out) {}
    QXmlStreamWriter& xml() { return m_xml; }

    void line(QPointF a, QPointF b, const QColor& stroke) override {
        m_xml.writeEmptyElement(QStringLiteral("line"));
        m_xml.writeAttribute(QStringLiteral("x1"), number(a.x()));
        m_xml.writeAttribute(QStringLiteral("y1"), number(a.y()));
        m_xml.writeAttribute(QStringLiteral("x2"), number(b.x()));
        m_xml.writeAttribute(QStringLiteral("y2"), number(b.y()));
        m_xml.writeAttribute(QStringLiteral("stroke"), stroke.name());
    }
    void text(QPointF at, const QString& s, const char* anchor, bool upright, int size) override {
        m_xml.writeStartElement(QStringLiteral("text"));
        m_xml.writeAttribute(QStringLiteral("x"), number(at.x()));
        m_xml.writeAttribute(QStringLiteral("y"), number(at.y()));
        m_xml.writeAttribute(QStringLiteral("text-anchor"), QLatin1String(anchor));
        if (size != 11)
            m_xml.writeAttribute(QStringLiteral("font-size"), QString::number(size));
        if (upright)
            m_xml.writeAttribute(
                QStringLiteral("transform"),
                QStringLiteral("rotate(-90 %1 %2)").arg(number(at.x())).arg(number(at.y())));
        m_xml.writeCharacters(s);
        m_xml.writeEndElement();
    }
    void polygon(const QList<QPointF>& points, const char* kind, const QColor& fill,
                 double opacity) override {
        QStringList xy;
        for (const QPointF& p : points)
            xy << number(p.x()) + QLatin1Char(',') + number(p.y());
        m_xml.writeEmptyElement(QStringLiteral("polygon"));
        m_xml.writeAttribute(QStringLiteral("class"), QLatin1String(kind));
        m_xml.writeAttribute(QStringLiteral("points"), xy.join(QLatin1Char(' ')));
        m_xml.writeAttribute(QStringLiteral("fill"), fill.name());
        m_xml.writeAttribute(QStringLiteral("fill-opacity"), QString::number(opacity));
        m_xml.writeAttribute(QStringLiteral("stroke"), fill.name());
    }

private:
    QXmlStreamWriter m_xml;
};

class PainterPage : public ChartPage {
public:
    explicit PainterPage(QPainter& painter) : m_p(painter) {
        m_p.setRenderHint(QPainter::Antialiasing);
    }

    void line(QPointF a, QPointF b, const QColor& stroke) override {
        m_p.setPen(stroke);
        m_p.drawLine(a, b);
    }
    void text(QPointF at, const QString& s, const char* anchor, bool upright, int size) override {
        QFont font(QStringLiteral("sans-serif"));
        font.setPixelSize(size);
        m_p.setFont(font);
        m_p.setPen(Qt::black);
        const double width = QFontMetricsF(font).horizontalAdvance(s);
        const double shift = qstrcmp(anchor, "middle") == 0 ? width / 2
                             : qstrcmp(anchor, "end") == 0  ? width
                                                            : 0;
        m_p.save();
        m_p.translate(at);
        if (upright)
            m_p.rotate(-90);
        m_p.drawText(QPointF(-shift, 0), s);
        m_p.restore();
    }
    void polygon(const QList<QPointF>& points, const char*, const QColor& fill,
                 double opacity) override {
        QColor inside = fill;
        inside.setAlphaF(float(opacity));
        m_p.setPen(fill);
        m_p.setBrush(inside);
        m_p.drawPolygon(QPolygonF(points));
    }

private:
    QPainter& m_p;
};

void LatencyChart::draw(ChartPage& page, const QSizeF& size, const QString& title) const {
    const double width = size.width(), height = size.height();
    const double split = width * 0.75;
    const Plot time{QRectF(QPointF(64, 64), QPointF(split - 12, height - 46)), m_timeAxis,
                    m_latencyAxis};
    const Plot spread{QRectF(QPointF(split + 8, 64), QPointF(width - 14, height - 46)), m_shareAxis,
                      m_spreadLatencyAxis};
    const QColor band = m_band->pen().color(), failed = m_failures->color();

    page.text(QPointF(width / 2, 24), title, "middle", false, 16);
    page.axes(time, m_timeAxis->titleText(), m_latencyAxis->titleText(), true);
    page.axes(spread, m_shareAxis->titleText(), {}, false);
    // The band, from the trace itself at the picture's own width: along the
    // greatest latency of each pixel column and back along the least.
    const int columns = qMax(1, int(time.frame.width()));
    const int group = qMax(1, (m_trace.used() + columns - 1) / columns);
    const double columnSpan = double(m_trace.spanMs()) * group / m_timeUnitMs;
    QList<QPointF> upper, lower;
    for (int first = 0; first < m_trace.used(); first += group) {
        qint64 least = -1, most = -1;
        bool failures = false;
        for (int i = first; i < qMin(first + group, m_trace.used()); ++i) {
            const LatencyTrace::Bucket& b = m_trace.at(i);
            failures = failures || b.failures;
            if (b.hasReply()) {
                least = least < 0 ? b.minUs : qMin(least, b.minUs);
                most = qMax(most, b.maxUs);
            }
        }
        const double t = (first / group + 0.5) * columnSpan;
        if (least >= 0) {
            upper << time.at(t, most / 1000.0);
            lower.prepend(time.at(t, least / 1000.0));
        }
        if (failures) {
            const QPointF p = time.at(t, 0);
            page.polygon({p + QPointF(0, -5), p + QPointF(-4.5, 3), p + QPointF(4.5, 3)}, "failed",
                         failed, 1);
        }
    }
    if (!upper.isEmpty())
        page.polygon(upper + lower, "latency", band, 0.35);
    // Each bar is a pair of outline points: its share at its lower and upper latency.
    const QList<QPointF> bars = m_barsUpper->points();
    for (qsizetype i = 0; i + 1 < bars.size(); i += 2)
        if (bars[i].x() > 0)
            page.polygon({spread.at(0, bars[i].y()), spread.at(bars[i].x(), bars[i].y()),
                          spread.at(bars[i].x(), bars[i + 1].y()), spread.at(0, bars[i + 1].y())},
                         "bar", band, 1);
    // The legend, as on screen: above the plot.
    const QPointF key(time.frame.center().x() - 60, 48);
    page.polygon(
        {key + QPointF(0, -8), key + QPointF(10, -8), key + QPointF(10, 2), key + QPointF(0, 2)},
        "key", band, 0.35);
    page.text(key + QPointF(14, 0), m_band->name(), "start");
    page.polygon({key + QPointF(75, -8), key + QPointF(70.5, 1), key + QPointF(79.5, 1)}, "key",
                 failed, 1);
    page.text(key + QPointF(84, 0), m_failures->name(), "start");
}

QByteArray LatencyChart::image(ImageFormat format, const QString& title) const {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (format == Png) {
        QImage picture(imageSize, QImage::Format_RGB32);
        picture.fill(Qt::white);
        {
            QPainter painter(&picture);
            PainterPage page(painter);
            draw(page, imageSize, title);
        }
        picture.setText(QStringLiteral("Title"), title);
        picture.save(&buffer, "PNG");
        return bytes;
    }
    SvgPage page(&buffer);
    QXmlStreamWriter& xml = page.xml();
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("svg"));
    xml.writeDefaultNamespace(QStringLiteral("http://www.w3.org/2000/svg"));
    xml.writeAttribute(QStringLiteral("width"), QString::number(imageSize.width()));
    xml.writeAttribute(QStringLiteral("height"), QString::number(imageSize.height()));
    xml.writeAttribute(QStringLiteral("viewBox"),
                       QStringLiteral("0 0 %1 %2").arg(imageSize.width()).arg(imageSize.height()));
    xml.writeAttribute(QStringLiteral("font-family"), QStringLiteral("sans-serif"));
    xml.writeAttribute(QStringLiteral("font-size"), QStringLiteral("11"));
    xml.writeTextElement(QStringLiteral("title"), title);
    xml.writeEmptyElement(QStringLiteral("rect"));
    xml.writeAttribute(QStringLiteral("width"), QStringLiteral("100%"));
    xml.writeAttribute(QStringLiteral("height"), QStringLiteral("100%"));
    xml.writeAttribute(QStringLiteral("fill"), QStringLiteral("white"));
    draw(page, imageSize, title);
    xml.writeEndElement();
    xml.writeEndDocument();
    return bytes;
}
