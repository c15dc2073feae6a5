// libFuzzer target for the sequence-file parser: any bytes are either refused
// with a message that names the file and shows no raw control byte, or give
// steps whose blocks pair up, whose numbers are within their limits and whose
// expectation count is the one the blocks multiply out to.
#include "sequence/sequencefile.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

namespace {

void require(bool holds, const char* why) {
    if (holds)
        return;
    std::fprintf(stderr, "fuzz-sequencefile: %s\n", why);
    std::abort();
}

bool showsNoControl(const QString& text) {
    for (const QChar c : text)
        if (c.category() == QChar::Other_Control)
            return false;
    return true;
}

qint64 saturatedProduct(qint64 a, qint64 b) {
    return b != 0 && a > std::numeric_limits<qint64>::max() / b ? std::numeric_limits<qint64>::max()
                                                                : a * b;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    const SequenceFile file = parseSequence(QStringLiteral("f.seq"), text);
    if (!file.isValid()) {
        require(file.error.startsWith(QLatin1String("f.seq:")), "a message does not name the file");
        require(showsNoControl(file.error), "a message shows a raw control character");
        require(file.steps.isEmpty(), "a refused file keeps steps");
        return 0;
    }
    require(!file.steps.isEmpty(), "a file without steps is taken");
    using namespace sequencelimits;
    std::vector<qint64> repeats{1}; // the product of the counts of the open blocks
    qint64 expectations = 0;
    bool sends = false;
    for (int i = 0; i < file.steps.size(); ++i) {
        const SequenceStep& step = file.steps[i];
        require(showsNoControl(file.stepText(step)), "a step's text shows a raw control character");
        sends = sends || step.sends();
        switch (step.kind) {
        case SequenceStep::Repeat:
            require(step.count >= 1 && step.count <= repeatMax, "repeat count out of range");
            require(step.partner > i && file.steps[step.partner].kind == SequenceStep::End &&
                        file.steps[step.partner].partner == i,
                    "a repeat and its end do not point at each other");
            repeats.push_back(saturatedProduct(repeats.back(), step.count));
            break;
        case SequenceStep::End:
            require(repeats.size() > 1, "an end closes no block");
            repeats.pop_back();
            break;
        case SequenceStep::Expect:
            require(step.ms >= 1 && step.ms <= expectMaxMs, "expect bound out of range");
            require(i > 0, "an expect before any step");
            expectations = qMin(std::numeric_limits<qint64>::max() - repeats.back(), expectations) +
                           repeats.back();
            break;
        case SequenceStep::Wait:
            require(step.ms >= 0 && step.ms <= waitMaxMs, "wait out of range");
            break;
        default:
            break;
        }
    }
    require(repeats.size() == 1, "a block is left open");
    require(sends, "a file in which nothing sends is taken");
    require(file.expectationCount() == expectations, "the expectation count is not the blocks'");
    return 0;
}
