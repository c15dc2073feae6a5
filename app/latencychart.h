#pragma once

#include "sequence/latencytrace.h"

#include <QWidget>

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

    // The chart as a PNG image, as it is on screen.
    QByteArray png();
    // The chart as an SVG drawing of the same axes, band, marks and bars.
    QByteArray svg() const;

private:
    int plotColumns() const;
    void drawTrace();
    void drawHistogram(const LatencyHistogram& histogram);
    void alignHistogram();

    LatencyTrace m_trace;
    quint64 m_drawnRevision = ~quint64(0);
    qint64 m_drawnCount = -1;
    int m_drawnColumns = 0;
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
