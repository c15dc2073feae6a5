#include "app/latencychart.h"

#include "sequence/latencyhistogram.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QHBoxLayout>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>
#include <array>
#include <cmath>

namespace {

// Bars of the histogram; a fixed number, whatever the histogram's buckets.
constexpr int histogramBars = 32;
const QColor bandColor(0x1f, 0x6f, 0xb4);
const QColor failureColor(0xc6, 0x28, 0x28);

// From 0 to top or a little beyond, with a tick at every 1, 2 or 5 times a
// power of ten that makes about `steps` steps: short labels at any scale.
void setRoundRange(QValueAxis* axis, double top, int steps = 5) {
    top = qMax(top, 1.0);
    const double rough = top / steps;
    const double p = std::pow(10.0, std::floor(std::log10(rough)));
    double step = 10 * p;
    for (double m : {1.0, 2.0, 5.0})
        if (m * p >= rough) {
            step = m * p;
            break;
        }
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(0);
    axis->setTickInterval(step);
    axis->setRange(0, std::ceil(top / step - 1e-9) * step);
}

struct TimeUnit {
    double ms;
    const char* title;
};

// Seconds for a short run, then minutes, hours and days, so the labels stay short.
TimeUnit unitFor(qint64 spanMs) {
    if (spanMs <= 2 * 60'000)
        return {1000, "Run time (s)"};
    if (spanMs <= 2 * 3'600'000)
        return {60'000, "Run time (min)"};
    if (spanMs <= 3 * 86'400'000LL)
        return {3'600'000, "Run time (h)"};
    return {86'400'000, "Run time (days)"};
}

QChart* newChart() {
    auto* chart = new QChart;
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins(2, 4, 4, 2));
    chart->legend()->hide();
    return chart;
}

QValueAxis* newAxis(QChart* chart, Qt::Alignment side, const QString& title) {
    auto* axis = new QValueAxis(chart);
    axis->setTitleText(title);
    axis->setLabelFormat(QStringLiteral("%g"));
    axis->setRange(0, 1);
    chart->addAxis(axis, side);
    return axis;
}

} // namespace

LatencyChart::LatencyChart(QWidget* parent) : QWidget(parent) {
    m_time = newChart();
    m_upper = new QLineSeries(m_time);
    m_lower = new QLineSeries(m_time);
    m_band = new QAreaSeries(m_upper, m_lower);
    m_band->setName(QStringLiteral("Latency"));
    m_band->setPen(QPen(bandColor, 1.5));
    m_band->setBrush(QColor(bandColor.red(), bandColor.green(), bandColor.blue(), 90));
    m_failures = new QScatterSeries(m_time);
    m_failures->setName(QStringLiteral("Failed"));
    m_failures->setMarkerShape(QScatterSeries::MarkerShapeTriangle);
    m_failures->setMarkerSize(9);
    m_failures->setColor(failureColor);
    m_failures->setBorderColor(failureColor);
    m_time->addSeries(m_band);
    m_time->addSeries(m_failures);
    m_timeAxis = newAxis(m_time, Qt::AlignBottom, QStringLiteral("Run time (s)"));
    m_latencyAxis = newAxis(m_time, Qt::AlignLeft, QStringLiteral("Latency (ms)"));
    for (QAbstractSeries* s :
         {static_cast<QAbstractSeries*>(m_band), static_cast<QAbstractSeries*>(m_failures)}) {
        s->attachAxis(m_timeAxis);
        s->attachAxis(m_latencyAxis);
    }
    m_time->legend()->setVisible(true);
    m_time->legend()->setAlignment(Qt::AlignTop);

    m_spread = newChart();
    m_barsUpper = new QLineSeries(m_spread);
    m_barsLower = new QLineSeries(m_spread);
    auto* bars = new QAreaSeries(m_barsUpper, m_barsLower);
    bars->setPen(QPen(bandColor.darker(130), 1));
    bars->setBrush(bandColor);
    m_spread->addSeries(bars);
    m_shareAxis = newAxis(m_spread, Qt::AlignBottom, QStringLiteral("% of replies"));
    m_spreadLatencyAxis = newAxis(m_spread, Qt::AlignLeft, {});
    m_spreadLatencyAxis->setLabelsVisible(false);
    bars->attachAxis(m_shareAxis);
    bars->attachAxis(m_spreadLatencyAxis);

    auto view = [this](QChart* chart, const char* name) {
        auto* v = new QChartView(chart, this);
        v->setObjectName(QLatin1String(name));
        v->setRenderHint(QPainter::Antialiasing);
        v->setMinimumSize(80, 150);
        return v;
    };
    m_timeView = view(m_time, "chtLatency");
    m_spreadView = view(m_spread, "chtLatencyHistogram");
    m_timeView->setAccessibleName(QStringLiteral("Latency over the run's time"));
    m_spreadView->setAccessibleName(QStringLiteral("Histogram of latencies"));
    // Room for the bars' axis title whole, "% of replies", however narrow the window.
    m_spreadView->setMinimumWidth(
        QFontMetrics(m_shareAxis->titleFont()).horizontalAdvance(m_shareAxis->titleText()) + 40);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_timeView, 3);
    layout->addWidget(m_spreadView, 1);

    // The histogram reads off the chart's latency scale: its bars stand at the
    // heights of the plot beside them.
    connect(m_time, &QChart::plotAreaChanged, this, &LatencyChart::alignHistogram);
    connect(m_spread, &QGraphicsWidget::geometryChanged, this, &LatencyChart::alignHistogram);
    // A wider or narrower plot has other pixel columns: drawn again once the
    // layout has settled.
    connect(m_time, &QChart::plotAreaChanged, this, [this] {
        if (plotColumns() != m_drawnColumns)
            QMetaObject::invokeMethod(this, &LatencyChart::drawTrace, Qt::QueuedConnection);
    });
}

void LatencyChart::alignHistogram() {
    const QRectF plot = m_time->plotArea();
    const qreal width = m_spread->size().width();
    m_spread->setPlotArea(QRectF(8, plot.top(), qMax<qreal>(10, width - 20), plot.height()));
}

void LatencyChart::refresh(const LatencyHistogram& histogram) {
    if (m_trace.revision() == m_drawnRevision && histogram.count() == m_drawnCount)
        return;
    m_drawnRevision = m_trace.revision();
    m_drawnCount = histogram.count();
    setRoundRange(m_latencyAxis, qMax(m_trace.maxUs(), histogram.maxUs()) / 1000.0);
    setRoundRange(m_spreadLatencyAxis, qMax(m_trace.maxUs(), histogram.maxUs()) / 1000.0);
    drawTrace();
    drawHistogram(histogram);
}

int LatencyChart::plotColumns() const {
    return qMax(1, int(m_time->plotArea().width()));
}

void LatencyChart::drawTrace() {
    // Min and max per pixel column at most: more points would only draw over
    // each other.
    m_drawnColumns = plotColumns();
    const int group = qMax(1, (m_trace.used() + m_drawnColumns - 1) / m_drawnColumns);
    const qint64 spanMs = m_trace.spanMs() * group;
    const TimeUnit unit = unitFor(qMax(1, m_trace.used()) * m_trace.spanMs());
    QList<QPointF> upper, lower, failures;
    for (int first = 0; first < m_trace.used(); first += group) {
        LatencyTrace::Bucket column;
        for (int i = first; i < qMin(first + group, m_trace.used()); ++i) {
            const LatencyTrace::Bucket& b = m_trace.at(i);
            column.failures += b.failures;
            if (b.hasReply()) {
                column.minUs = column.hasReply() ? qMin(column.minUs, b.minUs) : b.minUs;
                column.maxUs = qMax(column.maxUs, b.maxUs);
            }
        }
        const double t = (first / group + 0.5) * double(spanMs) / unit.ms;
        if (column.hasReply()) {
            upper.append({t, column.maxUs / 1000.0});
            lower.append({t, column.minUs / 1000.0});
        }
        if (column.failures)
            failures.append({t, 0});
    }
    m_upper->replace(upper);
    m_lower->replace(lower);
    m_failures->replace(failures);
    m_timeAxis->setTitleText(QLatin1String(unit.title));
    m_timeUnitMs = unit.ms;
    setRoundRange(m_timeAxis, m_trace.used() * double(m_trace.spanMs()) / unit.ms);
}

void LatencyChart::drawHistogram(const LatencyHistogram& histogram) {
    const double topUs = m_latencyAxis->max() * 1000;
    std::array<qint64, histogramBars> bars{};
    // Each bucket of the run's histogram counts into the bar its middle falls in.
    for (int i = 0; i < histogram.bucketCount(); ++i) {
        const qint64 n = histogram.countAt(i);
        if (!n)
            continue;
        const double mid = qBound(double(histogram.minUs()),
                                  (histogram.bucketLowerUs(i) + histogram.bucketUpperUs(i)) / 2.0,
                                  double(histogram.maxUs()));
        bars[std::size_t(qBound(0, int(mid / topUs * histogramBars), histogramBars - 1))] += n;
    }
    QList<QPointF> outline, base;
    double most = 0;
    const double step = m_latencyAxis->max() / histogramBars;
    for (int b = 0; b < histogramBars; ++b) {
        const double share = histogram.count()
                                 ? 100.0 * double(bars[std::size_t(b)]) / double(histogram.count())
                                 : 0;
        most = qMax(most, share);
        outline << QPointF(share, b * step) << QPointF(share, (b + 1) * step);
        base << QPointF(0, b * step) << QPointF(0, (b + 1) * step);
    }
    m_barsUpper->replace(outline);
    m_barsLower->replace(base);
    setRoundRange(m_shareAxis, qMax(1.0, most), 2);
}
