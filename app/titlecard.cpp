#include "app/titlecard.h"

#include "app/fonts.h"
#include "app/shapewidget.h"
#include "app/twips.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

TitleCard::TitleCard(const QString& objectName, const Layout& layout)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName(objectName);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFont(fonts::windowFont(12));
    const QRect& c = layout.client;
    setFixedSize(twips(c.width()), twips(c.height()));

    // Created bottom first: later siblings lie on top.
    auto* outline = new ShapeWidget(ShapeWidget::Rectangle, this);
    outline->setObjectName(QStringLiteral("Shape1"));
    outline->setBorderWidth(3);
    const QRect& o = layout.outline;
    outline->setGeometry(twipsRect(o.x(), o.y(), o.width(), o.height()));
    addLabel(QStringLiteral("Label1"), QStringLiteral("Kaldera Networks, Inc."), layout.maker);
    addLabel(QStringLiteral("Label2"), QStringLiteral("ORV TESTING PROGRAM"), layout.title);

    m_timer.setParent(this);
    m_timer.setObjectName(QStringLiteral("Timer1"));
    m_timer.setInterval(2000);
    m_timer.start();
}

QLabel* TitleCard::addLabel(const QString& name, const QString& caption, const QRect& at) {
    auto* label = new QLabel(caption, this);
    label->setObjectName(name);
    label->setAccessibleName(caption);
    label->move(twips(at.x()), twips(at.y()));
    // Labels size themselves to their text.
    label->adjustSize();
    return label;
}

void TitleCard::showCentred() {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
    raise();
}
