#pragma once

#include "config/Dc09Settings.h"

#include <QByteArray>
#include <QList>
#include <QString>

class DataDirectory;

// "Dc09.cfg" and its copy "Backup/Dc09.cfg": one setting a line, its key at
// the start of the line and its values after blanks:
//
//   Port N               reception port (UDP and TCP), 0 to 65535; 0: off
//   Window LAG LEAD      seconds, 0 to 86400 each; "Window 40 20" when absent
//   Key ACCOUNT HEX      AES key of an account (3 to 16 hexadecimal digits) or of
//                        every account ("*"): 32, 48 or 64 hexadecimal digits
//
// Lines that name none of these keys are kept as they are and written back
// before the settings. A line that names one but whose values cannot be read
// is ignored (and reported by its number); it is not written back. A later
// line replaces an earlier one for the same setting (the same account, for
// keys). Byte order marks at the start of a line are dropped. Written CR LF ended, LF alone is read too; the files hold
// keys, so they are readable by the owner only. A missing file means reception off.
namespace Dc09ConfigFile {

constexpr const char* kFileName = "Dc09.cfg";

struct Problem {
    int line = 0; // from 1
    QString reason;

    bool operator==(const Problem&) const = default;
};

// Fills a reset settings record from a file's text; returns the lines ignored.
QList<Problem> parse(const QByteArray& content, Dc09Settings& settings);
QByteArray serialize(const Dc09Settings& settings);

// The message that reports an ignored line to the operator.
QString problemText(const Problem& problem);

// Resets settings and reads "Dc09.cfg" into it. False when the file cannot be
// read (reception stays off); problems as parse gives them. refusal says why
// a file that is there was not read (not a regular file, too large).
bool load(const DataDirectory& dir, Dc09Settings& settings, QList<Problem>& problems, QString* refusal = nullptr);

// Writes "Dc09.cfg", then "Backup/Dc09.cfg", each whole and readable by the
// owner only. One that cannot be written does not stop the other; the result
// is the first one's.
bool write(const DataDirectory& dir, const Dc09Settings& settings);

} // namespace Dc09ConfigFile
