// Cuts a TCP byte stream into lines ended by a line feed, whatever the segment
// boundaries, and gives up on a line that grows past a cap instead of buffering it.
// Both ends of the command channel read their peer's lines through it.
#pragma once

#include <QByteArray>

class LineSplitter {
public:
    enum class Next {
        Line,      // *line holds the next line, its line feed included
        NeedMore,  // no complete line yet
        TooLong,   // the peer broke the cap; the stream is unusable from here on
    };

    // A complete line may hold up to maxLineBytes bytes, its line feed included; an
    // unfinished one is too long as soon as it holds more than maxPendingBytes.
    LineSplitter(int maxLineBytes, int maxPendingBytes);

    // Ignored once a line was too long.
    void append(const QByteArray& bytes);
    Next next(QByteArray* line);

    // Forgets everything, for a new connection.
    void clear();

    // Bytes received and not yet handed out as a line.
    int pendingBytes() const { return buffer_.size() - readPos_; }

private:
    const int maxLineBytes_;
    const int maxPendingBytes_;
    QByteArray buffer_;
    int readPos_ = 0;  // start of the first line not handed out
    int scanPos_ = 0;  // bytes before this one hold no line feed past readPos_
    bool tooLong_ = false;
};
