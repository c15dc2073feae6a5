#include "settings/settingsfile.h"

#include "filetext/regularfile.h"
#include "filetext/systemerror.h"

#include <cerrno>

namespace {

bool isUtf16(const QByteArray& c) {
    if (c.startsWith("\xFF\xFE") || c.startsWith("\xFE\xFF"))
        return true;
    // Without a byte-order mark: ASCII text with a NUL beside every letter.
    if (c.size() < 4)
        return false;
    auto ascii = [](char b) { return b > 0; };
    return (ascii(c[0]) && !c[1] && ascii(c[2]) && !c[3]) ||
           (!c[0] && ascii(c[1]) && !c[2] && ascii(c[3]));
}

QString why(const RegularFile& file) {
    switch (file.status) {
    case RegularFile::Failed:
        if (file.error == ENOENT && file.isLink)
            return QStringLiteral("it is a symbolic link to nothing");
        if (file.error == ELOOP)
            return QStringLiteral("it is a loop of symbolic links");
        return systemError(file.error);
    case RegularFile::NotRegular:
        return QStringLiteral("it is %1, not a file").arg(fileKind(file.mode));
    case RegularFile::TooLarge:
        return QStringLiteral("it is larger than %1 bytes").arg(maxSettingsFileBytes);
    case RegularFile::Read:
        if (isUtf16(file.content))
            return QStringLiteral("it is UTF-16 text; save it as UTF-8");
        break;
    case RegularFile::Missing:
        break;
    }
    return {};
}

} // namespace

SettingsFile readSettingsFile(const QByteArray& path, const QString& shown) {
    const RegularFile file = readRegularFile(path, maxSettingsFileBytes);
    SettingsFile f;
    f.exists = file.status != RegularFile::Missing;
    if (const QString problem = why(file); !problem.isEmpty())
        f.error = QStringLiteral("Cannot use the settings file %1: %2").arg(shown, problem);
    else
        f.content = file.content;
    return f;
}
