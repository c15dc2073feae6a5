// The chart as an SVG drawing: the same axes, band, failure marks and
// histogram as on screen, drawn from the chart's own series so that the file
// is vector lines and text at any size, and needs no SVG library.
#include "app/latencychart.h"

#include <QAreaSeries>
#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QLineSeries>
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

class Page {
public:
    explicit Page(QIODevice* out) : m_xml(out) {}
    QXmlStreamWriter& xml() { return m_xml; }

    void line(QPointF a, QPointF b, const QString& stroke) {
        m_xml.writeEmptyElement(QStringLiteral("line"));
        m_xml.writeAttribute(QStringLiteral("x1"), number(a.x()));
        m_xml.writeAttribute(QStringLiteral("y1"), number(a.y()));
        m_xml.writeAttribute(QStringLiteral("x2"), number(b.x()));
        m_xml.writeAttribute(QStringLiteral("y2"), number(b.y()));
        m_xml.writeAttribute(QStringLiteral("stroke"), stroke);
    }
    void text(QPointF at, const QString& s, const char* anchor, bool upright = false) {
        m_xml.writeStartElement(QStringLiteral("text"));
        m_xml.writeAttribute(QStringLiteral("x"), number(at.x()));
        m_xml.writeAttribute(QStringLiteral("y"), number(at.y()));
        m_xml.writeAttribute(QStringLiteral("text-anchor"), QLatin1String(anchor));
        if (upright)
            m_xml.writeAttribute(
                QStringLiteral("transform"),
                QStringLiteral("rotate(-90 %1 %2)").arg(number(at.x())).arg(number(at.y())));
        m_xml.writeCharacters(s);
        m_xml.writeEndElement();
    }
    void polygon(const QList<QPointF>& points, const char* kind, const QColor& fill,
                 double opacity) {
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
    // The frame, a grid line and a label at each tick of both axes, and the titles.
    void axes(const Plot& p, const QString& xTitle, const QString& yTitle, bool yLabels) {
        const QString grid = QStringLiteral("#d8d8d8");
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
        line(p.frame.bottomLeft(), p.frame.bottomRight(), QStringLiteral("#404040"));
        line(p.frame.bottomLeft(), p.frame.topLeft(), QStringLiteral("#404040"));
        text(QPointF(p.frame.center().x(), p.frame.bottom() + 32), xTitle, "middle");
        if (!yTitle.isEmpty())
            text(QPointF(p.frame.left() - 38, p.frame.center().y()), yTitle, "middle", true);
    }

private:
    QXmlStreamWriter m_xml;
};

} // namespace

QByteArray LatencyChart::svg() const {
    const double width = qMax(640, this->width()), height = qMax(320, this->height());
    const double split = width * 0.75;
    const Plot time{QRectF(QPointF(64, 34), QPointF(split - 12, height - 46)), m_timeAxis,
                    m_latencyAxis};
    const Plot spread{QRectF(QPointF(split + 8, 34), QPointF(width - 14, height - 46)), m_shareAxis,
                      m_spreadLatencyAxis};
    const QColor band = m_band->pen().color(), failed = m_failures->color();

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    Page page(&buffer);
    QXmlStreamWriter& xml = page.xml();
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("svg"));
    xml.writeDefaultNamespace(QStringLiteral("http://www.w3.org/2000/svg"));
    xml.writeAttribute(QStringLiteral("width"), number(width));
    xml.writeAttribute(QStringLiteral("height"), number(height));
    xml.writeAttribute(QStringLiteral("viewBox"),
                       QStringLiteral("0 0 %1 %2").arg(number(width), number(height)));
    xml.writeAttribute(QStringLiteral("font-family"), QStringLiteral("sans-serif"));
    xml.writeAttribute(QStringLiteral("font-size"), QStringLiteral("11"));
    xml.writeTextElement(QStringLiteral("title"), m_timeView->accessibleName());
    xml.writeEmptyElement(QStringLiteral("rect"));
    xml.writeAttribute(QStringLiteral("width"), QStringLiteral("100%"));
    xml.writeAttribute(QStringLiteral("height"), QStringLiteral("100%"));
    xml.writeAttribute(QStringLiteral("fill"), QStringLiteral("white"));

    page.axes(time, m_timeAxis->titleText(), m_latencyAxis->titleText(), true);
    page.axes(spread, m_shareAxis->titleText(), {}, false);
    // The band: along the greatest latencies and back along the least.
    QList<QPointF> outline;
    for (const QPointF& v : m_upper->points())
        outline << time.at(v.x(), v.y());
    const QList<QPointF> lower = m_lower->points();
    for (auto v = lower.crbegin(); v != lower.crend(); ++v)
        outline << time.at(v->x(), v->y());
    if (!outline.isEmpty())
        page.polygon(outline, "latency", band, 0.35);
    for (const QPointF& v : m_failures->points()) {
        const QPointF p = time.at(v.x(), v.y());
        page.polygon({p + QPointF(0, -5), p + QPointF(-4.5, 3), p + QPointF(4.5, 3)}, "failed",
                     failed, 1);
    }
    // Each bar is a pair of outline points: its share at its lower and upper latency.
    const QList<QPointF> bars = m_barsUpper->points();
    for (qsizetype i = 0; i + 1 < bars.size(); i += 2)
        if (bars[i].x() > 0)
            page.polygon({spread.at(0, bars[i].y()), spread.at(bars[i].x(), bars[i].y()),
                          spread.at(bars[i].x(), bars[i + 1].y()), spread.at(0, bars[i + 1].y())},
                         "bar", band, 1);
    // The legend, as on screen: above the plot.
    const QPointF key(time.frame.center().x() - 60, 18);
    page.polygon(
        {key + QPointF(0, -8), key + QPointF(10, -8), key + QPointF(10, 2), key + QPointF(0, 2)},
        "key", band, 0.35);
    page.text(key + QPointF(14, 0), m_band->name(), "start");
    page.polygon({key + QPointF(75, -8), key + QPointF(70.5, 1), key + QPointF(79.5, 1)}, "key",
                 failed, 1);
    page.text(key + QPointF(84, 0), m_failures->name(), "start");
    xml.writeEndElement();
    xml.writeEndDocument();
    return bytes;
}
