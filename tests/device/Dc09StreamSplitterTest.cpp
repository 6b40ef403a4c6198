#include "device/Dc09StreamSplitter.h"

#include "common/Dc09Envelope.h"

#include <gtest/gtest.h>

namespace {

const QByteArray kA = Dc09Envelope::wrap("\"ADM-CID\"0001L0#1234[#1234|1130 01 005]");
const QByteArray kB = Dc09Envelope::wrap("\"NULL\"0002L0#1234[]");
const QByteArray kC = Dc09Envelope::wrap("\"SIA-DCS\"0003L0#1234[#1234|Nri1/BA5]");

// Every frame the reads give, in order.
QList<QByteArray> split(const QList<QByteArray>& reads, bool* open = nullptr) {
    Dc09StreamSplitter splitter;
    QList<QByteArray> frames;
    bool stillOpen = true;
    for (const QByteArray& read : reads)
        stillOpen = splitter.append(read, frames) && stillOpen;
    if (open)
        *open = stillOpen;
    return frames;
}

} // namespace

TEST(Dc09StreamSplitterTest, FramesSplitJoinedAndAmongNoise) {
    const QByteArray badCrc = QByteArray(kB).replace(1, 1, "0");
    const struct {
        const char* name;
        QList<QByteArray> reads;
        QList<QByteArray> frames;
    } cases[] = {
        {"one frame, one read", {kA}, {kA}},
        {"three frames, one read", {kA + kB + kC}, {kA, kB, kC}},
        {"split in the header", {kA.left(4), kA.mid(4)}, {kA}},
        {"split before the CR", {kA.chopped(1), kA.right(1)}, {kA}},
        {"one byte a read",
         [] {
             QList<QByteArray> bytes;
             for (const char c : kA + kB)
                 bytes.append(QByteArray(1, c));
             return bytes;
         }(),
         {kA, kB}},
        {"end of one with the start of the next", {kA + kB.left(10), kB.mid(10) + kC}, {kA, kB, kC}},
        {"noise before and between", {"xyz\r\n" + kA + "\n\n\r" + kB}, {kA, kB}},
        {"a frame with a bad CRC is passed over", {badCrc + kC}, {kC}},
        {"an LF inside a bad frame starts the next search", {"\nFFFF0020" + kA}, {kA}},
        {"a lying length waits, then the real frame follows", {"\n00000030", kA}, {kA}},
        {"incomplete frame gives nothing yet", {kA.chopped(3)}, {}},
    };
    for (const auto& c : cases) {
        bool open = false;
        EXPECT_EQ(split(c.reads, &open), c.frames) << c.name;
        EXPECT_TRUE(open) << c.name;
    }
}

TEST(Dc09StreamSplitterTest, MoreThanOneKibibyteWithoutAFrameCloses) {
    const struct {
        const char* name;
        QList<QByteArray> reads;
        bool open;
    } cases[] = {
        {"1024 bytes of noise", {QByteArray(1024, 'x')}, true},
        {"1025 bytes of noise", {QByteArray(1024, 'x'), "x"}, false},
        {"1025 line feeds", {QByteArray(1025, '\n')}, false},
        {"noise around frames counts from the last frame",
         {QByteArray(1000, 'x') + kA, QByteArray(1000, 'x') + kB},
         true},
        {"a frame that claims 0FFF bytes", {"\nAAAA0FFF" + QByteArray(1100, 'x')}, false},
        {"a valid frame after too much noise comes too late", {QByteArray(1100, 'x'), kA}, false},
    };
    for (const auto& c : cases) {
        bool open = false;
        split(c.reads, &open);
        EXPECT_EQ(open, c.open) << c.name;
    }

    Dc09StreamSplitter splitter;
    QList<QByteArray> frames;
    EXPECT_FALSE(splitter.append(QByteArray(2000, 'x'), frames));
    EXPECT_FALSE(splitter.append(kA, frames)) << "closed stays closed";
    EXPECT_TRUE(frames.isEmpty());
    EXPECT_EQ(splitter.pending(), 0) << "nothing kept for a closed connection";
}
