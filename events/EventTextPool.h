#pragma once

#include <QByteArrayView>
#include <QString>

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Compact storage for the texts of the events list. Every text lives once in
// one character arena and is named by a 32-bit index. Texts that repeat
// (names, event texts, accounts, codes, ...) are shared through a hash of
// their UTF-8 bytes; the time texts, nearly all different, are only shared
// with the text added just before.
class EventTextPool {
public:
    using Id = quint32;

    // A shared text, looked up by its UTF-8 bytes (decoded with replacement
    // characters when new).
    Id intern(QByteArrayView utf8);
    Id intern(const QString& text);
    // A text shared only with the previous call of appendSequential.
    Id appendSequential(QByteArrayView utf8);
    Id appendSequential(const QString& text);

    QString text(Id id) const;
    void clear();
    qsizetype characterCount() const { return m_chars.size(); }

private:
    struct Span {
        quint32 offset;
        quint32 length;
    };
    struct BytesHash {
        using is_transparent = void;
        size_t operator()(std::string_view bytes) const { return std::hash<std::string_view>{}(bytes); }
    };

    Id add(const QString& text);

    QString m_chars;
    std::vector<Span> m_spans;
    std::unordered_map<std::string, Id, BytesHash, std::equal_to<>> m_shared;
    std::string m_lastSequential;
    Id m_lastSequentialId = 0;
    bool m_hasSequential = false;
};
