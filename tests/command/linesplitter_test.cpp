// The line reader both ends of the command channel use: lines across segment
// boundaries and the caps of the sender's and of the receiver's reader.
#include "src/command/linesplitter.h"

#include <gtest/gtest.h>

#include <QByteArrayList>

namespace {

constexpr int k64KiB = 64 * 1024;

// Feeds the segments one by one, draining after each, as the readers do.
QByteArrayList linesOf(LineSplitter& lines, const QByteArrayList& segments, bool* tooLong)
{
    QByteArrayList result;
    *tooLong = false;
    for (const QByteArray& segment : segments) {
        lines.append(segment);
        QByteArray line;
        for (;;) {
            const LineSplitter::Next next = lines.next(&line);
            if (next == LineSplitter::Next::NeedMore) break;
            if (next == LineSplitter::Next::TooLong) {
                *tooLong = true;
                return result;
            }
            result.append(line);
        }
    }
    return result;
}

LineSplitter sendersReader() { return LineSplitter(k64KiB + 1, k64KiB); }
LineSplitter receiversReader() { return LineSplitter(k64KiB, k64KiB); }

}  // namespace

TEST(LineSplitter, LinesCutAcrossSegmentsComeOutWhole)
{
    LineSplitter lines = sendersReader();
    bool tooLong = true;
    EXPECT_EQ(linesOf(lines, {"acc", "ept\nbu", "sy\nclo", "se"}, &tooLong),
              (QByteArrayList{"accept\n", "busy\n"}));
    EXPECT_FALSE(tooLong);
    EXPECT_EQ(lines.pendingBytes(), 5);
    EXPECT_EQ(linesOf(lines, {"\n"}, &tooLong), QByteArrayList{"close\n"});
    EXPECT_EQ(lines.pendingBytes(), 0);
}

TEST(LineSplitter, SendersReaderTakes64KiBBeforeTheLineFeed)
{
    bool tooLong = true;
    LineSplitter longest = sendersReader();
    const QByteArray content(k64KiB, 'a');
    EXPECT_EQ(linesOf(longest, {content, "\n"}, &tooLong), QByteArrayList{content + "\n"});
    EXPECT_FALSE(tooLong);

    LineSplitter overlong = sendersReader();
    EXPECT_TRUE(linesOf(overlong, {"accept\n" + content + "a\n"}, &tooLong) ==
                QByteArrayList{"accept\n"});
    EXPECT_TRUE(tooLong);

    LineSplitter unfinished = sendersReader();
    linesOf(unfinished, {content}, &tooLong);
    EXPECT_FALSE(tooLong);
    linesOf(unfinished, {"a"}, &tooLong);
    EXPECT_TRUE(tooLong);
}

TEST(LineSplitter, ReceiversReaderTakes64KiBWithTheLineFeed)
{
    bool tooLong = true;
    LineSplitter longest = receiversReader();
    const QByteArray content(k64KiB - 1, 'c');
    EXPECT_EQ(linesOf(longest, {content + "\n"}, &tooLong), QByteArrayList{content + "\n"});
    EXPECT_FALSE(tooLong);

    // 64 KiB without a line feed may still become a line, until the next byte.
    LineSplitter overlong = receiversReader();
    linesOf(overlong, {content + "c"}, &tooLong);
    EXPECT_FALSE(tooLong);
    linesOf(overlong, {"\n"}, &tooLong);
    EXPECT_TRUE(tooLong);
}

TEST(LineSplitter, StaysShutAfterAnOverlongLineUntilCleared)
{
    LineSplitter lines(8, 8);
    bool tooLong = false;
    linesOf(lines, {"123456789\n"}, &tooLong);
    ASSERT_TRUE(tooLong);
    lines.append("accept\n");
    QByteArray line;
    EXPECT_EQ(lines.next(&line), LineSplitter::Next::TooLong);

    lines.clear();
    EXPECT_EQ(linesOf(lines, {"accept\n"}, &tooLong), QByteArrayList{"accept\n"});
    EXPECT_FALSE(tooLong);
}
