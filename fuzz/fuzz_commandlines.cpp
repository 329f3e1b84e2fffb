// The command channel's line reader, as both ends use it, fed the input in arbitrary
// TCP segment splits. Whatever the splits, it must hand out the lines (and give up
// on a too-long one) exactly as a reading of the whole stream at once does.
//
// Input: byte 0 picks the segment sizes; byte 1 picks the caps (bit 7: the caps of
// the sender's and the receiver's command readers; else small caps from bytes 2 and
// 3, so that short inputs reach them); the stream follows from byte 4.

#include <QByteArray>
#include <QList>

#include "fuzz/fuzzcheck.h"
#include "src/command/linesplitter.h"

namespace {

constexpr int kMaxLine = 64 * 1024;

struct Caps {
    int maxLineBytes;
    int maxPendingBytes;
};

struct Outcome {
    QList<QByteArray> lines;
    bool tooLong = false;
    int pending = 0;
};

// The whole stream at once, read the plain way.
Outcome referenceReading(const QByteArray& stream, const Caps& caps)
{
    Outcome outcome;
    int from = 0;
    for (;;) {
        const int end = stream.indexOf('\n', from);
        if (end < 0) {
            outcome.pending = stream.size() - from;
            outcome.tooLong = outcome.pending > caps.maxPendingBytes;
            return outcome;
        }
        if (end + 1 - from > caps.maxLineBytes) {
            outcome.tooLong = true;
            return outcome;
        }
        outcome.lines.append(stream.mid(from, end + 1 - from));
        from = end + 1;
    }
}

// Drains the reader as the command channel does after every segment.
bool drain(LineSplitter& lines, Outcome* outcome)
{
    for (;;) {
        QByteArray line;
        switch (lines.next(&line)) {
            case LineSplitter::Next::Line:
                FUZZ_CHECK(line.endsWith('\n'));
                FUZZ_CHECK(line.indexOf('\n') == line.size() - 1);
                outcome->lines.append(line);
                break;
            case LineSplitter::Next::NeedMore:
                return true;
            case LineSplitter::Next::TooLong:
                outcome->tooLong = true;
                return false;
        }
    }
}

Outcome segmentedReading(LineSplitter& lines, const QByteArray& stream, uint8_t control)
{
    fuzz::SegmentSizes sizes(control);
    Outcome outcome;
    for (int at = 0; at < stream.size();) {
        const int length = int(qMin<size_t>(sizes.next(), size_t(stream.size() - at)));
        lines.append(stream.mid(at, length));
        at += length;
        if (!drain(lines, &outcome)) return outcome;
        FUZZ_CHECK(lines.pendingBytes() <= at);
    }
    drain(lines, &outcome);
    outcome.pending = outcome.tooLong ? 0 : lines.pendingBytes();
    return outcome;
}

void checkSame(const Outcome& segmented, const Outcome& reference)
{
    FUZZ_CHECK(segmented.tooLong == reference.tooLong);
    FUZZ_CHECK(segmented.lines == reference.lines);
    if (!reference.tooLong) FUZZ_CHECK(segmented.pending == reference.pending);
}

void exercise(const QByteArray& stream, const Caps& caps, uint8_t control)
{
    LineSplitter lines(caps.maxLineBytes, caps.maxPendingBytes);
    const Outcome reference = referenceReading(stream, caps);
    checkSame(segmentedReading(lines, stream, control), reference);
    if (reference.tooLong) {
        // The reader stays shut until it is cleared.
        lines.append(QByteArray("accept\n"));
        QByteArray line;
        FUZZ_CHECK(lines.next(&line) == LineSplitter::Next::TooLong);
    }
    // A new connection starts from nothing: one segment of the whole stream.
    lines.clear();
    FUZZ_CHECK(lines.pendingBytes() == 0);
    Outcome whole;
    lines.append(stream);
    drain(lines, &whole);
    whole.pending = whole.tooLong ? 0 : lines.pendingBytes();
    checkSame(whole, reference);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4) return 0;
    const QByteArray stream(reinterpret_cast<const char*>(data) + 4, int(size - 4));
    const uint8_t control = data[0];
    if (data[1] & 0x80) {
        exercise(stream, {kMaxLine + 1, kMaxLine}, control);  // the sender's reader
        exercise(stream, {kMaxLine, kMaxLine}, control);      // the receiver's
        return 0;
    }
    const int maxPending = data[2] | ((data[1] & 1) << 8);
    const int maxLine = 1 + data[3] % (maxPending + 1);
    exercise(stream, {maxLine, maxPending}, control);
    return 0;
}
