#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// A frame of the operator's own, written as the monitor shows frames: two-digit
// hex words with blanks between, in any case ("0B 07 12"). A last word "sum"
// appends the checksum byte, the sum of the bytes before it modulo 256, so
// "0B 07 sum" is 0B 07 12. Shared by sequence files and the Send Frame window.
struct HexFrame {
    static constexpr int maxBytes = 64; // the checksum byte included

    QByteArray bytes; // exactly what is to be sent
    QString error;    // why the words make no frame; empty when they do
    bool isValid() const { return error.isEmpty(); }
};

HexFrame parseHexFrame(QByteArrayView words);

// "0B 07 12": two upper-case digits a byte, one space between.
QByteArray hexText(const QByteArray& bytes);
