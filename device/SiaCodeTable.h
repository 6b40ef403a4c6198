#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>

// "Sia.lst": how the two-letter event codes of SIA DC-03 ("BA", "OP", ...)
// become Contact ID codes. A text file, one code a line:
//
//   BA 1 130 Disparo de alarme de roubo
//
// the SIA code (two upper-case letters), the Contact ID qualifier (1 new
// event, 3 restore, 6 still present), the Contact ID event (three decimal
// digits) and the text, separated by blanks or tabs. Empty lines and lines
// that start with "[" or ";" are headings and comments. A later line for the
// same code replaces the earlier one. Written with CR LF; LF alone is read too.
class SiaCodeTable {
public:
    static constexpr const char* kFileName = "Sia.lst";
    // The Contact ID code of an event whose SIA code the table does not hold:
    // new event 000, which no text names, so it shows as "Unknown".
    static constexpr quint16 kUnknownCode = 1000;
    // The text of such an event.
    static constexpr const char* kUnknownText = "Unknown";

    struct Entry {
        quint16 code = 0; // qualifier * 1000 + event, as the TaviCom reports give it
        QString text;
    };

    // Reads a file's text into an emptied table. Returns the numbers (from 1)
    // of the lines that follow none of the forms above; they are ignored.
    QList<int> parse(const QByteArray& content);

    // Whether the file could be read; badLines as parse gives them.
    bool load(const QString& path, QList<int>& badLines);

    // The entry of a two-letter code; none when the table does not hold it.
    const Entry* find(QByteArrayView siaCode) const;
    qsizetype size() const { return m_entries.size(); }

private:
    // By the code's two letters, first one in the high byte.
    QHash<quint16, Entry> m_entries;
};
