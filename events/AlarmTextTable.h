#pragma once

#include <QByteArray>
#include <QString>

#include <array>

class UserInterface;

// The descriptive texts of the Contact ID event codes 0..999, read once from
// "Alarms.lst": for each code a new-event text and a restore text. An empty
// text counts as absent and is shown as "Unknown".
struct AlarmTextTable {
    static constexpr int kCodeCount = 1000;

    std::array<QString, kCodeCount> newText;
    std::array<QString, kCodeCount> restoreText;

    // The text of a code (0..999), or an empty text when there is none.
    QString text(int code, bool restore) const;
};

enum class AlarmTextStatus {
    Loaded,
    Missing,     // the file cannot be opened (message 129)
    BadCodeLine, // a code line that does not start with three digits (message 130)
};

// Reads "Alarms.lst" lines, each UTF-8 when its bytes are valid UTF-8, else
// Latin-1 (older 8-bit files), lines ended by LF or CR LF, the last one may
// lack its end:
// - empty lines and lines starting with "[" are ignored;
// - a line starting with a digit is a code line: three digits, then blanks,
//   tabs and "=" are skipped (no further than character 124), the rest is the
//   new-event text of that code;
// - any other line is the restore text of the code of the latest code line
//   (ignored before the first code line).
// A later text of the same code and kind replaces the earlier one. Lines are
// at most 127 characters: a longer line is cut there and the rest of that
// line is dropped. A byte-order mark at the start is skipped.
AlarmTextStatus parseAlarmTexts(const QByteArray& content, AlarmTextTable& table);
// Something in the file's place that is refused (not a regular file, too
// large, unreadable) is Missing; problem, when given, then says why.
AlarmTextStatus LoadAlarmTexts(const QString& path, AlarmTextTable& table, QString* problem = nullptr);

// Loads the table at start-up; on failure shows message 129 or 130 (after the
// reason a file was refused, when it was) and returns false, and the caller
// ends the program with exit code 1.
bool loadAlarmTextsAtStart(const QString& path, AlarmTextTable& table, UserInterface& ui);
