#include "shell/ServerIniFile.h"

#include <QByteArrayList>

namespace {

// The numbers of the file in order, whatever white space separates them;
// nothing when a word is not a number in range.
bool readNumbers(const QByteArray& content, QList<int>& numbers) {
    const QByteArrayList words = content.simplified().split(' ');
    for (const QByteArray& word : words) {
        if (word.isEmpty())
            continue;
        bool ok = false;
        const int value = word.toInt(&ok);
        if (!ok || value < 0 || value > ServerIniFile::kMaxExtent)
            return false;
        numbers.append(value);
    }
    return true;
}

} // namespace

namespace ServerIniFile {

WindowLayout parse(const QByteArray& content, const WindowLayout& defaults) {
    QList<int> numbers;
    qsizetype needed = 2;
    for (const QList<int>& widths : defaults.columnWidths)
        needed += widths.size();
    if (!readNumbers(content, numbers) || numbers.size() < needed || numbers[0] == 0 || numbers[1] == 0)
        return defaults;
    WindowLayout layout;
    layout.stored = true;
    layout.size = QSize(numbers[0], numbers[1]);
    qsizetype next = 2;
    for (size_t list = 0; list < layout.columnWidths.size(); ++list) {
        const qsizetype count = defaults.columnWidths[list].size();
        layout.columnWidths[list] = numbers.mid(next, count);
        next += count;
    }
    return layout;
}

QByteArray serialize(const WindowLayout& layout) {
    QByteArray text =
        QByteArray::number(layout.size.width()) + "\r\n" + QByteArray::number(layout.size.height()) + "\r\n";
    for (const QList<int>& widths : layout.columnWidths) {
        QByteArrayList words;
        for (int width : widths)
            words.append(QByteArray::number(width));
        text += words.join('\t') + "\r\n";
    }
    return text;
}

} // namespace ServerIniFile
