#include "src/command/linesplitter.h"

LineSplitter::LineSplitter(int maxLineBytes, int maxPendingBytes)
    : maxLineBytes_(maxLineBytes), maxPendingBytes_(maxPendingBytes)
{
}

void LineSplitter::append(const QByteArray& bytes)
{
    if (tooLong_ || bytes.isEmpty()) return;
    // Drop the lines already handed out before growing, so the buffer holds only
    // the unread tail and what just arrived.
    if (readPos_ > 0) {
        buffer_.remove(0, readPos_);
        scanPos_ -= readPos_;
        readPos_ = 0;
    }
    buffer_.append(bytes);
}

LineSplitter::Next LineSplitter::next(QByteArray* line)
{
    if (tooLong_) return Next::TooLong;
    const int end = buffer_.indexOf('\n', scanPos_);
    if (end < 0) {
        scanPos_ = buffer_.size();
        if (pendingBytes() > maxPendingBytes_) tooLong_ = true;
        return tooLong_ ? Next::TooLong : Next::NeedMore;
    }
    const int length = end + 1 - readPos_;
    if (length > maxLineBytes_) {
        tooLong_ = true;
        return Next::TooLong;
    }
    *line = buffer_.mid(readPos_, length);
    readPos_ = end + 1;
    scanPos_ = readPos_;
    if (readPos_ == buffer_.size()) clear();
    return Next::Line;
}

void LineSplitter::clear()
{
    buffer_.clear();
    readPos_ = 0;
    scanPos_ = 0;
    tooLong_ = false;
}
