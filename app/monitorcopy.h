#pragma once

#include <QObject>
#include <QString>

class MonitorModel;
class QAbstractScrollArea;

// Copy (Ctrl+C, or the context menu) puts the selected monitor line on the
// clipboard with its time; Copy All every line. Plain text, one line each,
// as the session log writes them.
class MonitorCopy : public QObject {
    Q_OBJECT
public:
    MonitorCopy(QAbstractScrollArea* view, const MonitorModel& model);

    QString selectedText() const;
    QString allText() const;
    void copySelected();
    void copyAll();

private:
    void showMenu(const QPoint& at);

    QAbstractScrollArea* m_view;
    const MonitorModel& m_model;
};
