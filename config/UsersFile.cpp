#include "config/UsersFile.h"

#include "common/DataDirectory.h"
#include "common/DataFileReader.h"
#include "common/FileWriter.h"
#include "common/TextDecoding.h"

#include <limits>
#include <optional>

namespace {

// Reads the numbers and names of "Users.lst" as the stream reads of the old
// format did: numbers skip leading white space, names are taken character by character.
class UsersReader {
public:
    explicit UsersReader(const QByteArray& content) : m_text(content) {}

    bool atEnd() const { return m_pos >= m_text.size(); }

    std::optional<qint16> readSigned16() {
        std::optional<qint64> value = readNumber(true);
        if (!value || *value < std::numeric_limits<qint16>::min() || *value > std::numeric_limits<qint16>::max())
            return std::nullopt;
        return static_cast<qint16>(*value);
    }

    std::optional<quint16> readUnsigned16() {
        std::optional<qint64> value = readNumber(false);
        if (!value || *value > std::numeric_limits<quint16>::max())
            return std::nullopt;
        return static_cast<quint16>(*value);
    }

    // A name: line ends are skipped, a TAB ends it. Nothing when the file ends first.
    std::optional<QByteArray> readName() {
        QByteArray name;
        while (!atEnd()) {
            const char c = m_text[m_pos++];
            if (c == '\t')
                return name;
            if (c != '\r' && c != '\n')
                name += c;
        }
        return std::nullopt;
    }

private:
    static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

    std::optional<qint64> readNumber(bool signedAllowed) {
        while (!atEnd() && isSpace(m_text[m_pos]))
            ++m_pos;
        bool negative = false;
        if (!atEnd() && signedAllowed && (m_text[m_pos] == '-' || m_text[m_pos] == '+'))
            negative = m_text[m_pos++] == '-';
        qint64 value = 0;
        int digits = 0;
        while (!atEnd() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9') {
            value = value * 10 + (m_text[m_pos++] - '0');
            if (value > 0xFFFFF) // far out of range already: stop before it can overflow
                return std::nullopt;
            ++digits;
        }
        if (digits == 0)
            return std::nullopt;
        return negative ? -value : value;
    }

    const QByteArray& m_text;
    qsizetype m_pos = 0;
};

// The code as the file keeps it: a signed 16-bit number, as it is read.
QByteArray codeText(const QString& password) {
    return QByteArray::number(static_cast<qint16>(UsersFile::passwordCode(password)));
}

} // namespace

namespace UsersFile {

quint16 passwordCode(const QString& password) {
    return static_cast<quint16>(password.toUInt() ^ PasswordKey);
}

QString passwordFromCode(qint16 code) {
    // Unsigned, so that the password gives its code back (a code no four digits give reads as five digits).
    const auto decoded = static_cast<quint16>(static_cast<quint16>(code) ^ PasswordKey);
    return QString::asprintf("%04d", int(decoded));
}

void parse(const QByteArray& content, OperatorTable& table) {
    UsersReader reader(content);
    Operator& administrator = table.entry(OperatorTable::kAdministrator);
    const std::optional<qint16> adminCode = reader.readSigned16();
    administrator.password =
        adminCode ? passwordFromCode(*adminCode) : QString::fromLatin1(OperatorTable::kDefaultAdministratorPassword);
    if (!adminCode)
        return;
    const std::optional<quint16> anonymousRights = reader.readUnsigned16();
    if (!anonymousRights)
        return;
    table.entry(OperatorTable::kAnonymous).rights = *anonymousRights;

    int count = OperatorTable::kFirstNamed;
    while (count < OperatorTable::kSize && !reader.atEnd()) {
        const std::optional<QByteArray> name = reader.readName();
        if (!name)
            break;
        const std::optional<quint16> rights = reader.readUnsigned16();
        const std::optional<qint16> code = rights ? reader.readSigned16() : std::nullopt;
        if (!code)
            break;
        // An entry without a name is a free one, as the writer leaves it out: passed over.
        if (name->isEmpty())
            continue;
        table.entry(count) = Operator{TextDecoding::decode(*name), count + 1, *rights, passwordFromCode(*code)};
        ++count;
    }
    table.setCount(count);
}

QByteArray serialize(const OperatorTable& table) {
    QByteArray text = codeText(table.entry(OperatorTable::kAdministrator).password) + ' ' +
                      QByteArray::number(table.entry(OperatorTable::kAnonymous).rights) + "\r\n";
    for (int index = OperatorTable::kFirstNamed; index < OperatorTable::kSize; ++index) {
        const Operator& named = table.entry(index);
        if (named.name.isEmpty())
            continue;
        text +=
            named.name.toUtf8() + '\t' + QByteArray::number(named.rights) + '\t' + codeText(named.password) + "\r\n";
    }
    return text;
}

QString LoadOperators(const DataDirectory& dir, const QString& anonymousName, OperatorTable& table) {
    table.reset(anonymousName);
    const DataFileReader::Content file = DataFileReader::readWhole(dir.file(QString::fromLatin1(kFileName)));
    if (!file.read()) {
        table.entry(OperatorTable::kAdministrator).password =
            QString::fromLatin1(OperatorTable::kDefaultAdministratorPassword);
        return file.problem;
    }
    parse(file.bytes, table);
    return {};
}

void write(const DataDirectory& dir, const OperatorTable& table) {
    const QByteArray content = serialize(table);
    constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    writeFileWhole(dir.file(QString::fromLatin1(kFileName)), content, kOwnerOnly);
    writeFileWhole(dir.backupFile(QString::fromLatin1(kFileName)), content, kOwnerOnly);
}

} // namespace UsersFile
