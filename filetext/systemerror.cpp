#include "filetext/systemerror.h"

#include <cstring>

QString systemError(int error) {
    char buffer[256];
    // The GNU strerror_r: it returns the text, in buffer or a static string.
    return QString::fromLocal8Bit(strerror_r(error, buffer, sizeof buffer));
}
