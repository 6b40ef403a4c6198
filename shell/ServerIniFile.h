#pragma once

#include <QByteArray>
#include <QList>
#include <QSize>

#include <array>

// "Server.ini": the main window's outer width and height, then one line of
// column widths (TAB separated) for each of the five lists: events, online,
// offline, blocked, new clients. Lines end with CR LF.
struct WindowLayout {
    static constexpr int kListCount = 5;
    static constexpr int kDefaultWidth = 800;
    static constexpr int kDefaultHeight = 613;

    QSize size{kDefaultWidth, kDefaultHeight};
    std::array<QList<int>, kListCount> columnWidths;
    // Read from a file, not the defaults: the window keeps these widths exactly
    // (the defaults are scaled to the font in use).
    bool stored = false;
};

namespace ServerIniFile {

constexpr const char* kFileName = "Server.ini";
// Larger values are not a window or a column anyone drew: the file is damaged.
constexpr int kMaxExtent = 32767;

// Reads the layout; defaults gives the size and the widths (and so the column
// count of each list) used when the text is damaged: numbers missing, not
// numbers, negative or out of range. A damaged file is taken as a whole or
// not at all, so the lists never mix widths of two runs.
WindowLayout parse(const QByteArray& content, const WindowLayout& defaults);
QByteArray serialize(const WindowLayout& layout);

} // namespace ServerIniFile
