#include "serial/handover.h"

void HandOver::queued(qint64 atNs, qsizetype bytes, bool urgent) {
    if (m_lines == 0)
        m_oldestNs = atNs;
    // The first reply after a quiet spell is somebody's answer: show it now.
    if (m_lastLineNs < 0 || atNs - m_lastLineNs >= quietNs)
        urgent = true;
    else
        m_gapNs = qMin(atNs - m_lastLineNs, holdNs / 4);
    m_lastLineNs = atNs;
    ++m_lines;
    m_bytes += bytes;
    m_urgent = m_urgent || urgent || m_sent;
    m_sent = false;
    if (m_bytes >= fullBytes || m_lines >= fullLines)
        m_paused = true;
}

bool HandOver::wakeDue(qint64 nowNs) {
    if (m_wakePending || m_lines == 0)
        return false;
    // Half a gap more, for a pace that wavers.
    if (m_urgent || m_lines >= floodLines || nowNs + m_gapNs * 3 / 2 >= m_oldestNs + holdNs) {
        m_wakePending = true;
        return true;
    }
    return false;
}

qint64 HandOver::dueNs() const {
    return m_lines == 0 || m_wakePending ? never : m_oldestNs + holdNs;
}

bool HandOver::taken(qsizetype lines, qsizetype bytes) {
    m_lines -= lines;
    m_bytes -= bytes;
    if (m_lines == 0) {
        m_wakePending = false;
        m_urgent = false;
    }
    if (m_paused && m_bytes < fullBytes / 2 && m_lines < fullLines / 2) {
        m_paused = false;
        return true;
    }
    return false;
}
