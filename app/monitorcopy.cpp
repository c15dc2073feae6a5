#include "app/monitorcopy.h"

#include "session/monitormodel.h"
#include "session/stampedline.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QAbstractScrollArea>
#include <QMenu>

namespace {

QString textOf(const MonitorModel& model, int row) {
    const MonitorModel::Line& line = model.at(row);
    return stampedLine(line.msecsSinceEpoch, line.text);
}

} // namespace

void copyText(const QString& text) {
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

QAction* addCopyAction(QWidget* view, const char* objectName, std::function<QString()> text) {
    auto* copy = new QAction(QStringLiteral("Copy"), view);
    copy->setObjectName(QLatin1String(objectName));
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    QObject::connect(copy, &QAction::triggered, view, [text] { copyText(text()); });
    view->addAction(copy);
    return copy;
}

MonitorCopy::MonitorCopy(QAbstractScrollArea* view, const MonitorModel& model)
    : QObject(view), m_view(view), m_model(model) {
    addCopyAction(view, "actCopyLine", [this] { return selectedText(); });
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this, &MonitorCopy::showMenu);
}

QString MonitorCopy::selectedText() const {
    const int row = m_model.selectedIndex();
    return row < 0 ? QString() : textOf(m_model, row) + QLatin1Char('\n');
}

QString MonitorCopy::allText() const {
    QString out;
    for (int row = 0; row < m_model.count(); ++row)
        out += textOf(m_model, row) + QLatin1Char('\n');
    return out;
}

void MonitorCopy::copySelected() {
    copyText(selectedText());
}

void MonitorCopy::copyAll() {
    copyText(allText());
}

void MonitorCopy::showMenu(const QPoint& at) {
    QMenu menu(m_view);
    menu.setObjectName(QStringLiteral("monitorMenu"));
    QAction* copy = menu.addAction(QStringLiteral("Copy"), this, &MonitorCopy::copySelected);
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(m_model.selectedIndex() >= 0);
    QAction* all = menu.addAction(QStringLiteral("Copy All"), this, &MonitorCopy::copyAll);
    all->setEnabled(m_model.count() > 0);
    menu.exec(m_view->viewport()->mapToGlobal(at));
}
