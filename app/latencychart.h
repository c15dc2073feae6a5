#pragma once

#include "sequence/latencytrace.h"

#include <QWidget>

class ChartPage;
class LatencyHistogram;
class QAreaSeries;
class QChart;
class QChartView;
class QLineSeries;
class QScatterSeries;
class QValueAxis;

// The run window's chart: each reply's latency over the run's time as a
// min-max band in a bounded number of time buckets, failed expectations as
// marks on the time axis, and beside it, on the same latency scale, the
// histogram of all latencies. Redrawing costs the same however long the run.
class LatencyChart : public QWidget {
    Q_OBJECT
public:
    explicit LatencyChart(QWidget* parent = nullptr);

    void addReply(qint64 atMs, qint64 latencyUs) { m_trace.addReply(atMs, latencyUs); }
    void addFailure(qint64 atMs) { m_trace.addFailure(atMs); }
    // Redraws what has changed since the last call; histogram is the run's.
    void refresh(const LatencyHistogram& histogram);

    enum ImageFormat { Png, Svg };
    // The size of a saved chart, whatever the window's.
    static constexpr QSize imageSize{1200, 600};
    // The chart as a picture of imageSize under title, drawn from the data:
    // the same axes, band, marks and bars as on screen.
    QByteArray image(ImageFormat format, const QString& title) const;

private:
    int plotColumns() const;
    void drawTrace();
    void drawHistogram(const LatencyHistogram& histogram);
    void alignHistogram();
    void draw(ChartPage& page, const QSizeF& size, const QString& title) const;

    LatencyTrace m_trace;
    quint64 m_drawnRevision = ~quint64(0);
    qint64 m_drawnCount = -1;
    int m_drawnColumns = 0;
    double m_timeUnitMs = 1000; // of the time axis
    QChart* m_time = nullptr;
    QChart* m_spread = nullptr;
    QChartView* m_timeView = nullptr;
    QChartView* m_spreadView = nullptr;
    QLineSeries* m_upper = nullptr;
    QLineSeries* m_lower = nullptr;
    QAreaSeries* m_band = nullptr;
    QScatterSeries* m_failures = nullptr;
    QLineSeries* m_barsUpper = nullptr;
    QLineSeries* m_barsLower = nullptr;
    QValueAxis* m_timeAxis = nullptr;
    QValueAxis* m_latencyAxis = nullptr;
    QValueAxis* m_shareAxis = nullptr;
    QValueAxis* m_spreadLatencyAxis = nullptr;
};
