#pragma once

#include <QAbstractScrollArea>
#include <QGlyphRun>
#include <QHash>
#include <QRawFont>
#include <QStaticText>
#include <array>

class MonitorModel;

// The communication monitor on screen: one row per line, the selected line
// highlighted. It is cheap under a chatty device: new rows arrive in the
// model's batches, the rows already drawn move as pixels, and only the newly
// exposed strip is painted, each row's text laid out once.
//
// It keeps no selection of its own: it draws the model's, and a click or a
// navigation key asks for another one through rowPicked().
class MonitorView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit MonitorView(const MonitorModel& model, QWidget* parent = nullptr);

    const MonitorModel& monitor() const { return m_model; }
    int rowCount() const;
    int selectedRow() const;
    // The row's text as shown (before eliding) and read out.
    QString rowText(int row) const;
    // Where a row is, in viewport coordinates; the row under a viewport point.
    QRect rowRect(int row) const;
    int rowAt(int y) const;
    int rowHeight() const { return m_rowHeight; }
    void scrollToRow(int row);

Q_SIGNALS:
    void rowPicked(int row);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void onRowsInserted(int first, int last);
    void onRowsRemoved(int first, int last);
    void onReset();
    void onSelection();
    void updateRange();
    void updateRow(int row);
    // A row laid out: printable ASCII as glyphs placed by the font's own
    // advances, anything else (and a row too wide) by the text engine.
    struct Layout {
        QGlyphRun glyphs;
        QStaticText text;
    };
    const Layout& laidOut(int row);
    bool placeAscii(const QString& text, int width, QGlyphRun& run);
    void forgetLayouts();

    const MonitorModel& m_model;
    int m_rowHeight = 0;
    int m_shownSelection = -1;
    bool m_silentScroll = false;
    // Layouts of recently painted rows, keyed by the line's number since the
    // last clear, which stays with it as older lines leave.
    QHash<qint64, Layout> m_layouts;
    // The font's glyph and advance for each printable ASCII character, taken
    // once: placing a row of them needs no shaping. Empty when the font
    // lacks one of them.
    QRawFont m_rawFont;
    std::array<quint32, 95> m_asciiGlyphs{};
    std::array<qreal, 95> m_asciiAdvances{};
    bool m_asciiKnown = false;
};
