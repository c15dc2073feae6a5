#pragma once

#include <QScrollBar>

// A scroll bar that repaints only when what it shows changes. A growing
// list moves its range and value with every batch of lines, mostly by less
// than a pixel of the handle; repainting the bar (and, as it is not opaque,
// the frame behind it) each time cost more than drawing the lines.
class StillScrollBar : public QScrollBar {
    Q_OBJECT
public:
    using QScrollBar::QScrollBar;

protected:
    void sliderChange(SliderChange change) override;

private:
    // Compared once the range and value have settled: a list that grows at
    // its end passes through a value short of the end on the way.
    void updateIfChanged();

    QRect m_handle;
    int m_ends = -1; // which ends of the range the value is at
    bool m_checkQueued = false;
};
