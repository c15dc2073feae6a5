// libFuzzer target for the sequence-file parser: any bytes are refused with a
// message naming the file and showing no raw control byte, or give blocks that
// pair up, numbers within their limits and the expectation count the blocks
// multiply out to.
#include "sequence/sequencefile.h"
#include "support/fuzzcheck.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

bool showsNoControl(const QString& text) {
    return std::none_of(text.begin(), text.end(),
                        [](QChar c) { return c.category() == QChar::Other_Control; });
}

constexpr qint64 most = std::numeric_limits<qint64>::max();

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace sequencelimits;
    const SequenceFile file = parseSequence(
        QStringLiteral("f.seq"), QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!file.isValid()) {
        require(file.error.startsWith(QLatin1String("f.seq:")) && showsNoControl(file.error),
                "a message does not name the file or shows a raw control byte");
        return 0;
    }
    std::vector<qint64> times{1}; // how often the steps of each open block run
    qint64 expectations = 0;
    bool sends = false;
    for (int i = 0; i < file.steps.size(); ++i) {
        const SequenceStep& step = file.steps[i];
        require(showsNoControl(file.stepText(step)), "a step shows a raw control byte");
        sends = sends || step.sends();
        if (step.kind == SequenceStep::Repeat) {
            require(step.count >= 1 && step.count <= repeatMax, "repeat out of range");
            require(step.partner > i && file.steps[step.partner].partner == i &&
                        file.steps[step.partner].kind == SequenceStep::End,
                    "a repeat and its end do not point at each other");
            times.push_back(times.back() > most / step.count ? most : times.back() * step.count);
        } else if (step.kind == SequenceStep::End) {
            require(times.size() > 1, "an end closes no block");
            times.pop_back();
        } else if (step.kind == SequenceStep::Expect) {
            require(step.ms >= 1 && step.ms <= expectMaxMs, "within out of range");
            expectations = qMin(most - times.back(), expectations) + times.back();
        } else if (step.kind == SequenceStep::Wait) {
            require(step.ms >= 0 && step.ms <= waitMaxMs, "wait out of range");
        }
    }
    require(times.size() == 1 && sends, "an open block or nothing sent, and taken");
    require(file.expectationCount() == expectations, "the expectation count is not the blocks'");
    return 0;
}
