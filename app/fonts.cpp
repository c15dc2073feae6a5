#include "app/fonts.h"

#include <QFontDatabase>
#include <QStringList>

QFont fonts::windowFont(int pointSize) {
    static const bool hasMsSansSerif =
        QFontDatabase::families().contains(QStringLiteral("MS Sans Serif"), Qt::CaseInsensitive);
    QFont font(hasMsSansSerif ? QStringLiteral("MS Sans Serif") : QStringLiteral("Sans Serif"),
               pointSize);
    font.setStyleHint(QFont::SansSerif);
    return font;
}
