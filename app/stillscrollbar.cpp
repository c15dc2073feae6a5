#include "app/stillscrollbar.h"

#include <QStyle>
#include <QStyleOptionSlider>

void StillScrollBar::sliderChange(SliderChange change) {
    if (change == SliderOrientationChange) {
        QScrollBar::sliderChange(change);
        return;
    }
    if (m_checkQueued)
        return;
    m_checkQueued = true;
    QMetaObject::invokeMethod(this, &StillScrollBar::updateIfChanged, Qt::QueuedConnection);
}

void StillScrollBar::updateIfChanged() {
    m_checkQueued = false;
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect handle =
        style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
    // The arrows look disabled at their end of the range.
    const int ends = (value() == minimum() ? 1 : 0) | (value() == maximum() ? 2 : 0);
    if (handle != m_handle || ends != m_ends)
        update();
    m_handle = handle;
    m_ends = ends;
}
