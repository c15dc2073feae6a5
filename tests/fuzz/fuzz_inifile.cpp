// libFuzzer target for the INI reader/editor: random file contents and random
// edits. An edit that changes the file must read back as the value written and
// touch at most one line of it; editing again with the same value must change
// nothing. SETTINGS/port, always storable, must always be written.
//
// Input: a byte of choices, then three fields (section, key, value), each a
// length byte and that many bytes; the rest is the file.
#include "settings/inifile.h"
#include "support/fuzzcheck.h"

#include <QByteArray>
#include <cstdint>

namespace {

// Whether the stretch of `before` that `after` replaced lies within one line.
bool withinOneLine(const QByteArray& before, const QByteArray& after) {
    const qsizetype shorter = qMin(before.size(), after.size());
    qsizetype head = 0;
    while (head < shorter && before[head] == after[head])
        ++head;
    qsizetype tail = 0;
    while (tail < shorter - head &&
           before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
        ++tail;
    const QByteArray replaced = before.mid(head, before.size() - head - tail);
    return !replaced.contains('\r') && !replaced.contains('\n');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    std::size_t pos = 0;
    const auto field = [&] {
        const std::size_t n = pos < size ? qMin<std::size_t>(data[pos], size - pos - 1) : 0;
        const QByteArray out(bytes + pos + 1, pos < size ? qsizetype(n) : 0);
        pos = qMin(size, pos + 1 + n);
        return out;
    };
    const std::uint8_t choices = size > 0 ? data[pos++] : 0;
    QByteArray section = field(), key = field();
    const QByteArray value = field();
    const QByteArray before(bytes + pos, qsizetype(size - pos));
    const bool fixedNames = choices & 1;
    if (fixedNames) {
        section = "SETTINGS";
        key = "port";
    }

    const QByteArray after = ini::edit(before, section, key, value);
    // The value as a line can hold it: up to the first line break or NUL.
    qsizetype cut = 0;
    while (cut < value.size() && value[cut] != '\r' && value[cut] != '\n' && value[cut] != '\0')
        ++cut;
    require((after == before && !fixedNames) || ini::lookup(after, section, key) == value.left(cut),
            "the edited file does not read back the value written");
    require(withinOneLine(before, after), "an edit changed more than one line");
    require(ini::edit(after, section, key, value) == after,
            "a second, identical edit changed the file");
    return 0;
}
