#pragma once

#include <QLabel>

// A one-line label that never asks for more width than a few letters: a text
// longer than the room ends in "..." on screen, and shows whole in its
// tooltip and to screen readers (text() stays whole).
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};
