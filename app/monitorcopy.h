#pragma once

#include <QObject>
#include <QString>
#include <functional>

class MonitorModel;
class QAbstractScrollArea;
class QAction;
class QWidget;

// Rows as the session log writes them onto the clipboard, for both monitors.
// Puts text there, unless there is none.
void copyText(const QString& text);
// Ctrl+C on view alone (a text box beside it keeps its own), copying text().
QAction* addCopyAction(QWidget* view, const char* objectName, std::function<QString()> text);

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
