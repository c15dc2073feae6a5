#include "app/fonts.h"

#include <QFontDatabase>
#include <QStringList>

QFont fonts::windowFont(int pointSize) {
    // FreeSans comes closest to MS Sans Serif's widths of the free fonts, so
    // captions keep to the room the layout gives them; Liberation Sans next.
    static const QString family = [] {
        const QStringList installed = QFontDatabase::families();
        for (const QString& name : {QStringLiteral("MS Sans Serif"), QStringLiteral("FreeSans"),
                                    QStringLiteral("Liberation Sans")}) {
            if (installed.contains(name, Qt::CaseInsensitive))
                return name;
        }
        return QStringLiteral("Sans Serif");
    }();
    QFont font(family, pointSize);
    font.setStyleHint(QFont::SansSerif);
    return font;
}
