#include "clients/ClientListFile.h"

#include "clients/ClientRecord.h"
#include "clients/ClientRegistry.h"
#include "common/DataFileReader.h"
#include "common/FileWriter.h"
#include "common/HexText.h"
#include "common/TextDecoding.h"

#include <QVarLengthArray>

#include <limits>

namespace {

constexpr char kFieldSeparator = '\t';
constexpr char kBlockOpen = '{';
constexpr char kBlockClose = '}';
constexpr const char* kLineEnd = "\r\n";

constexpr int kKindPlain = 1;
constexpr int kKindMulticom = 2;
constexpr int kMacLength = 6;
// Keep-alive periods are 16-bit values in the device messages; a stored
// period outside this range is not a period at all.
constexpr qint64 kMaxPeriod = 0xFFFF;

// Fields of a primary line (0-based); from the kind on, positions depend on it.
constexpr int kAccountField = 0;
constexpr int kNameField = 1;
constexpr int kPanelField = 2;
constexpr int kLastContactField = 3;
constexpr int kEthAddressField = 4;
constexpr int kStatusField = 5;
constexpr int kKindField = 7;
constexpr int kMacOrPeriodField = 8;
// Fields of a dependent line.
constexpr int kDependentStatusField = 2;

using Fields = QVarLengthArray<QByteArrayView, 12>;

Fields splitFields(QByteArrayView line) {
    Fields fields;
    qsizetype start = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == kFieldSeparator) {
            fields.append(line.sliced(start, i - start));
            start = i + 1;
        }
    }
    fields.append(line.sliced(start));
    return fields;
}

// A field missing at the end of the line reads as empty.
QByteArrayView field(const Fields& fields, int index) {
    return index < fields.size() ? fields[index] : QByteArrayView();
}

// Texts are written as UTF-8; a field that is not valid UTF-8 comes from an
// older 8-bit file and is read as Windows-1252, so no byte is lost. A carriage
// return inside a field (only one right before the line feed ends a line)
// reads as the blank it would be written as.
QString text(QByteArrayView bytes) {
    QString value = TextDecoding::decode(bytes);
    value.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return value;
}

// Like "%X": false when the field holds no hexadecimal digit.
bool readHex(QByteArrayView bytes, quint32& value) {
    return HexText::parseHex(bytes, value);
}

// Like "%d": leading blanks, an optional sign, then digits; false without a
// digit. Values beyond the int range are clamped.
bool readDecimal(QByteArrayView bytes, int& value) {
    qsizetype i = 0;
    while (i < bytes.size() && bytes[i] == ' ')
        ++i;
    bool negative = false;
    if (i < bytes.size() && (bytes[i] == '-' || bytes[i] == '+'))
        negative = bytes[i++] == '-';
    qint64 result = 0;
    bool any = false;
    for (; i < bytes.size() && bytes[i] >= '0' && bytes[i] <= '9'; ++i) {
        if (result <= std::numeric_limits<int>::max())
            result = result * 10 + (bytes[i] - '0');
        any = true;
    }
    if (!any)
        return false;
    if (negative)
        result = -result;
    constexpr qint64 kMin = std::numeric_limits<int>::min();
    constexpr qint64 kMax = std::numeric_limits<int>::max();
    value = static_cast<int>(qBound(kMin, result, kMax));
    return true;
}

bool isSeparator(char16_t c) {
    return c == u'\t' || c == u'\r' || c == u'\n';
}

// A text field must not carry the characters that separate fields and lines:
// they are written as blanks. ASCII texts (nearly all) are copied straight
// into the output; others are converted to UTF-8 from their first non-ASCII
// character on.
void appendText(QByteArray& out, const QString& value) {
    const qsizetype start = out.size();
    out.resize(start + value.size());
    char* target = out.data() + start;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char16_t c = value[i].unicode();
        if (c >= 0x80) {
            out.truncate(start + i);
            QByteArray rest = value.sliced(i).toUtf8();
            for (char& byte : rest)
                if (isSeparator(static_cast<unsigned char>(byte)))
                    byte = ' ';
            out += rest;
            return;
        }
        target[i] = isSeparator(c) ? ' ' : static_cast<char>(c);
    }
}

void appendDecimal(QByteArray& out, int value) {
    char text[12];
    int length = 0;
    qint64 rest = value;
    if (rest < 0) {
        out += '-';
        rest = -rest;
    }
    do {
        text[length++] = static_cast<char>('0' + rest % 10);
        rest /= 10;
    } while (rest);
    while (length)
        out += text[--length];
}

void appendMacChar(QByteArray& out, char c) {
    out += isSeparator(static_cast<unsigned char>(c)) ? ' ' : c;
}

constexpr const char* kAsideSuffix = ".bad";

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A line as the reader takes it: a block mark, or an account of hexadecimal
// digits alone (leading blanks allowed, at most 8 digits) and a TAB after it.
bool isListLine(QByteArrayView line) {
    if (line[0] == kBlockOpen || line[0] == kBlockClose)
        return true;
    constexpr qsizetype kMaxAccountDigits = 8;
    qsizetype i = 0;
    while (i < line.size() && line[i] == ' ')
        ++i;
    const qsizetype digitsStart = i;
    while (i < line.size() && isHexDigit(line[i]))
        ++i;
    const qsizetype digits = i - digitsStart;
    return digits > 0 && digits <= kMaxAccountDigits && i < line.size() && line[i] == kFieldSeparator;
}

} // namespace

ClientListFile::ClientListFile(ClientRegistry& registry, DataDirectory directory, int defaultKeepAlive)
    : m_registry(registry), m_directory(std::move(directory)), m_defaultKeepAlive(defaultKeepAlive) {}

QString ClientListFile::mainPath() const {
    return m_directory.file(QLatin1String(kFileName));
}

QString ClientListFile::backupPath() const {
    return m_directory.backupFile(QLatin1String(kFileName));
}

bool ClientListFile::isClientList(QByteArrayView content) {
    qsizetype lines = 0;
    qsizetype listLines = 0;
    qsizetype start = 0;
    while (start < content.size()) {
        qsizetype end = content.indexOf('\n', start);
        if (end < 0)
            end = content.size();
        QByteArrayView line = content.sliced(start, end - start);
        start = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        ++lines;
        if (isListLine(line))
            ++listLines;
    }
    return listLines * 2 >= lines;
}

bool ClientListFile::readList(const QString& path, QByteArray& content, QString& problem, bool& present) {
    DataFileReader file(path);
    content = file.readAll();
    problem = file.problem();
    present = file.status() != DataFileStatus::Missing;
    if (!file.isOpen())
        return false;
    if (!isClientList(content)) {
        problem = QStringLiteral("\"%1\" não é uma lista de clientes (menos da metade das linhas são de clientes): "
                                 "não foi lido")
                      .arg(path);
        content.clear();
        return false;
    }
    return true;
}

bool ClientListFile::putAside(const QString& path, QStringList& said) {
    const QString aside = moveAside(path, QString::fromLatin1(kAsideSuffix));
    if (aside.isEmpty()) {
        said << QStringLiteral("\"%1\" não pôde ser renomeado e não será regravado até o receptor ser reiniciado")
                    .arg(path);
        return false;
    }
    said << QStringLiteral("\"%1\" foi guardado como \"%2\", sem alteração").arg(path, aside);
    return true;
}

ClientListLoad ClientListFile::LoadClientList() {
    ClientListLoad outcome;
    QByteArray content;
    QString mainProblem;
    bool mainPresent = false;
    if (readList(mainPath(), content, mainProblem, mainPresent)) {
        outcome.source = ClientListSource::Main;
        parse(content);
        return outcome;
    }

    QStringList said;
    if (mainPresent) {
        said << mainProblem;
        // Whatever holds the name is kept as it is: the saves write a new file.
        m_keepMain = !putAside(mainPath(), said);
    }
    QString backupProblem;
    bool backupPresent = false;
    if (readList(backupPath(), content, backupProblem, backupPresent)) {
        outcome.source = ClientListSource::Backup;
        // The main file is rebuilt from the backup before it is read.
        if (!m_keepMain)
            writeFileWhole(mainPath(), content);
        parse(content);
        if (mainPresent)
            said << QStringLiteral("Os clientes foram lidos da cópia \"%1\"; \"%2\" foi refeito a partir dela")
                        .arg(backupPath(), mainPath());
    } else if (backupPresent) {
        said << backupProblem;
        m_keepBackup = !putAside(backupPath(), said);
    }
    if (outcome.source == ClientListSource::None && (mainPresent || backupPresent))
        said << QStringLiteral("Nenhum cliente foi carregado: a lista começa vazia");
    outcome.problem = said.join(QLatin1Char('\n'));
    return outcome;
}

void ClientListFile::SaveClientList() {
    TimedLockGuard guard(m_registry.lock());
    const QByteArray content = serializeUnlocked();
    if (!m_keepMain)
        writeFileWhole(mainPath(), content);
    if (!m_keepBackup)
        writeFileWhole(backupPath(), content);
}

int ClientListFile::parse(const QByteArray& content) {
    int primaries = 0;
    bool inBlock = false;
    PrimaryClient* current = nullptr;
    DependentAccount* lastDependent = nullptr; // of current

    const QByteArrayView all(content);
    qsizetype start = 0;
    while (start < all.size()) {
        qsizetype end = all.indexOf('\n', start);
        if (end < 0)
            end = all.size();
        QByteArrayView line = all.sliced(start, end - start);
        start = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);

        if (line.isEmpty())
            continue;
        if (line[0] == kBlockOpen) {
            inBlock = true;
            continue;
        }
        if (line[0] == kBlockClose) {
            inBlock = false;
            continue;
        }

        const Fields fields = splitFields(line);
        quint32 account = 0;
        const bool hasAccount = readHex(field(fields, kAccountField), account);

        if (inBlock) {
            // A dependent needs its primary: one before any primary, or after a
            // primary line that could not be read, is skipped.
            if (!current || !hasAccount)
                continue;
            auto* dependent = new DependentAccount;
            dependent->account = static_cast<quint16>(account);
            dependent->name = text(field(fields, kNameField));
            readDecimal(field(fields, kDependentStatusField), dependent->status);
            lastDependent = current->appendDependentAfter(lastDependent, dependent);
            m_registry.Register(dependent, false);
            continue;
        }

        // A primary line without a readable account names no client: it is
        // skipped with its block, rather than filed under an invented account.
        current = nullptr;
        lastDependent = nullptr;
        if (!hasAccount)
            continue;

        int kind = kKindPlain;
        readDecimal(field(fields, kKindField), kind);
        PrimaryClient* client = nullptr;
        int next = kMacOrPeriodField;
        if (kind == kKindMulticom) {
            auto* multicom = new MulticomClient;
            // Missing MAC characters stay NUL, so a short key is never matched.
            const QByteArrayView mac = field(fields, kMacOrPeriodField);
            for (int i = 0; i < kMacLength; ++i)
                multicom->setMacChar(i, i >= mac.size() ? '\0' : mac[i] == '\r' ? ' ' : mac[i]);
            client = multicom;
            ++next;
        } else {
            client = new PrimaryClient;
        }

        client->account = static_cast<quint16>(account);
        client->name = text(field(fields, kNameField));
        client->panel = text(field(fields, kPanelField));
        client->lastContact = text(field(fields, kLastContactField));
        client->ethAddress = text(field(fields, kEthAddressField));
        client->address = client->ethAddress;
        readDecimal(field(fields, kStatusField), client->status);
        client->linkState = LinkState::NotHeard;

        int period = 0;
        if (readDecimal(field(fields, next), period) && period >= 0 && period <= kMaxPeriod) {
            client->ethPeriod = period;
            client->ethCountdown = period;
        } else {
            // No usable period: a plain client (kind 1) starts from the default keep-alive, any other from 0.
            client->ethCountdown = kind == kKindPlain ? m_defaultKeepAlive : 0;
        }
        quint32 deviceId = 0;
        if (readHex(field(fields, next + 1), deviceId))
            client->deviceId = deviceId;

        m_registry.Register(client, false);
        current = client;
        ++primaries;
    }
    return primaries;
}

QByteArray ClientListFile::serialize() {
    TimedLockGuard guard(m_registry.lock());
    return serializeUnlocked();
}

QByteArray ClientListFile::serializeUnlocked() const {
    QByteArray out;
    // The list changes little between two writes: start from the last size.
    out.reserve(m_lastSize + m_lastSize / 8 + 1024);
    m_registry.ForEachPrimary([&out](PrimaryClient* client) {
        HexText::appendHex(out, client->account, 4);
        out += kFieldSeparator;
        appendText(out, client->name);
        out += kFieldSeparator;
        appendText(out, client->panel);
        out += kFieldSeparator;
        appendText(out, client->lastContact);
        out += kFieldSeparator;
        appendText(out, client->ethAddress);
        out += kFieldSeparator;
        appendDecimal(out, client->status);
        out += kFieldSeparator;
        appendDecimal(out, client->linkState);
        out += kFieldSeparator;
        if (client->isMulticom()) {
            out += static_cast<char>('0' + kKindMulticom);
            out += kFieldSeparator;
            for (int i = 0; i < kMacLength; ++i)
                appendMacChar(out, client->macChar(i));
        } else {
            out += static_cast<char>('0' + kKindPlain);
        }
        out += kFieldSeparator;
        appendDecimal(out, client->ethPeriod);
        out += kFieldSeparator;
        HexText::appendHex(out, client->deviceId, 8);
        out += kLineEnd;

        if (!client->hasDependents())
            return;
        out += kBlockOpen;
        out += kLineEnd;
        for (const DependentAccount* d = client->dependents; d; d = d->nextDependent) {
            HexText::appendHex(out, d->account, 4);
            out += kFieldSeparator;
            appendText(out, d->name);
            out += kFieldSeparator;
            appendDecimal(out, d->status);
            out += kLineEnd;
        }
        out += kBlockClose;
        out += kLineEnd;
    });
    m_lastSize = out.size();
    return out;
}
