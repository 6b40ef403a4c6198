#include "config/ServerConfigFile.h"

#include "common/DataFileReader.h"
#include "common/TextDecoding.h"
#include "common/UserInterface.h"

#include <QList>

namespace {

const QString kMissingFileQuestion =
    QStringLiteral("\"Server.cfg\" faltando ou corrompido.\nContinuar?\nConfiguração default será aplicada");
const QString kNoPortsQuestion = QStringLiteral("Portas não definidas.\nContinuar?");

enum class Section { None, Ports, Timeouts, Callback, Sounds, Run };

const QByteArray kTaviKey = QByteArrayLiteral("Tavi");
constexpr char kTaviLineStart[] = "Tavi  ";
// The longest address (in UTF-8 bytes) that its line holds whole.
constexpr qsizetype kMaxTaviBytes = ServerConfigFile::kMaxLineLength - qsizetype(sizeof kTaviLineStart - 1);

bool isContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The first max bytes of text; a UTF-8 text is cut before the character that
// would not fit whole (an 8-bit text has one character per byte).
QByteArray cutBytes(const QByteArray& text, qsizetype max) {
    if (text.size() <= max)
        return text;
    qsizetype end = max;
    if (QByteArrayView(text).isValidUtf8()) {
        while (end > 0 && isContinuationByte(text[end]))
            --end;
    }
    return text.left(end);
}

// The callback address as its line keeps it: no line breaks (a blank each),
// no blanks around it, whole characters up to what the line holds. What this
// gives reads back as itself.
QString taviValue(QString text) {
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return QString::fromUtf8(cutBytes(text.trimmed().toUtf8(), kMaxTaviBytes)).trimmed();
}

// The first decimal digit among the first 80 characters and the digits right
// after it, saturating at the largest 32-bit value. False when there is none.
bool readNumber(const QByteArray& line, quint32& value) {
    const qsizetype scan = qMin<qsizetype>(line.size(), ServerConfigFile::kValueScanLength);
    for (qsizetype i = 0; i < scan; ++i) {
        if (line[i] < '0' || line[i] > '9')
            continue;
        quint64 number = 0;
        for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i)
            number = qMin<quint64>(number * 10 + static_cast<quint64>(line[i] - '0'), 0xFFFFFFFFull);
        value = static_cast<quint32>(number);
        return true;
    }
    return false;
}

// The first decimal digit among the first 80 characters, as 0 to 9.
bool readDigit(const QByteArray& line, int& digit) {
    const qsizetype scan = qMin<qsizetype>(line.size(), ServerConfigFile::kValueScanLength);
    for (qsizetype i = 0; i < scan; ++i) {
        if (line[i] >= '0' && line[i] <= '9') {
            digit = line[i] - '0';
            return true;
        }
    }
    return false;
}

void readFlag(const QByteArray& line, bool& flag) {
    int digit;
    if (readDigit(line, digit))
        flag = digit != 0;
}

bool findSection(const QByteArray& line, Section& section) {
    static const struct {
        const char* name;
        Section section;
    } kSections[] = {{"Ports", Section::Ports},
                     {"Timeouts", Section::Timeouts},
                     {"Callback", Section::Callback},
                     {"Sounds", Section::Sounds},
                     {"Run", Section::Run}};
    for (const auto& s : kSections) {
        if (line.contains(s.name)) {
            section = s.section;
            return true;
        }
    }
    return false;
}

QList<QByteArray> splitLines(const QByteArray& content) {
    QList<QByteArray> lines = content.split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        // A longer line is read as its first 511 bytes (whole characters of a
        // UTF-8 line); the rest is dropped.
        line = cutBytes(line, ServerConfigFile::kMaxLineLength);
    }
    return lines;
}

} // namespace

namespace ServerConfigFile {

void parse(const QByteArray& content, ServerSettings& settings) {
    settings.UDP = settings.TCP = settings.MC = 0;
    Section section = Section::None;
    bool addressSeen = false;
    bool portStored = false;

    for (const QByteArray& line : splitLines(content)) {
        if (line.isEmpty())
            continue;
        // The address line is the address line whatever its value holds (a
        // host name may well contain "Run" or "Ports").
        const bool addressLine = section == Section::Callback && !portStored && line.startsWith(kTaviKey);
        if (!addressLine && findSection(line, section)) {
            addressSeen = portStored = false;
            continue;
        }
        switch (section) {
        case Section::None: // value lines before the first section are ignored
            break;
        case Section::Ports:
            if (line.contains("UDP"))
                readNumber(line, settings.UDP);
            else if (line.contains("TCP"))
                readNumber(line, settings.TCP);
            else if (line.contains("MC"))
                readNumber(line, settings.MC);
            break;
        case Section::Timeouts:
            if (line.contains("Yellow"))
                readNumber(line, settings.Yellow);
            break;
        case Section::Callback:
            if (portStored)
                break;
            if (line.contains(kTaviKey)) {
                const qsizetype blank = line.indexOf(' ');
                const QByteArray address = blank < 0 ? line : line.mid(blank + 1);
                settings.Tavi = taviValue(TextDecoding::decode(address));
                addressSeen = true;
            } else if (line.contains("Port") && addressSeen) {
                // A port line before the address line is ignored.
                portStored = readNumber(line, settings.Port);
            }
            break;
        case Section::Sounds: {
            int* target = nullptr;
            if (line.contains("SoundNewEvent"))
                target = &settings.SoundNewEvent;
            else if (line.contains("SoundNewRegister"))
                target = &settings.SoundNewRegister;
            else if (line.contains("SoundOffline"))
                target = &settings.SoundOffline;
            else if (line.contains("SoundAckFail"))
                target = &settings.SoundAckFail;
            else if (line.contains("UseSpeaker"))
                target = &settings.UseSpeaker;
            if (target)
                readDigit(line, *target);
            break;
        }
        case Section::Run:
            if (line.contains("AnonymEntry"))
                readFlag(line, settings.AnonymEntry);
            else if (line.contains("EnableMulticom"))
                readFlag(line, settings.EnableMulticom);
            else if (line.contains("LogAll"))
                readFlag(line, settings.LogAll);
            else if (line.contains("ResendAge"))
                readNumber(line, settings.ResendAge);
            else if (line.contains("MaxSessions"))
                readNumber(line, settings.MaxSessions);
            break;
        }
    }
}

QByteArray serialize(const ServerSettings& s) {
    QByteArray out;
    auto line = [&out](const QByteArray& text) { out += text + "\r\n"; };
    auto number = [](qint64 value) { return QByteArray::number(value); };
    line("[Ports]");
    line("UDP " + number(s.UDP));
    line("TCP " + number(s.TCP));
    line("MC " + number(s.MC));
    line("");
    line("[Timeouts]");
    line("Yellow " + number(s.Yellow));
    line("");
    line("[Callback]");
    line(QByteArray(kTaviLineStart) + taviValue(s.Tavi).toUtf8());
    line("Port " + number(s.Port));
    line("");
    line("[Sounds]");
    line("SoundNewEvent    " + number(s.SoundNewEvent));
    line("SoundNewRegister " + number(s.SoundNewRegister));
    line("SoundOffline     " + number(s.SoundOffline));
    line("SoundAckFail     " + number(s.SoundAckFail));
    line("UseSpeaker       " + number(s.UseSpeaker));
    line("");
    line("[Run]");
    line("AnonymEntry\t\t" + number(s.AnonymEntry ? 1 : 0));
    line("EnableMulticom\t" + number(s.EnableMulticom ? 1 : 0));
    line("LogAll\t\t\t" + number(s.LogAll ? 1 : 0));
    if (s.ResendAge != ServerSettings::kDefaultResendAge)
        line("ResendAge\t\t" + number(s.ResendAge));
    if (s.MaxSessions != ServerSettings::kDefaultMaxSessions)
        line("MaxSessions\t\t" + number(s.MaxSessions));
    return out;
}

} // namespace ServerConfigFile

bool LoadServerConfig(const QString& path, ServerSettings& settings, UserInterface& ui) {
    const DataFileReader::Content file = DataFileReader::readWhole(path);
    if (file.read()) {
        ServerConfigFile::parse(file.bytes, settings);
    } else {
        // Something in the file's place that is not taken is said, then asked about as a missing file is.
        if (!file.problem.isEmpty())
            ui.showMessage(file.problem, UserInterface::Icon::Exclamation);
        settings.UDP = settings.TCP = settings.MC = 0;
        if (!ui.askYesNo(kMissingFileQuestion, UserInterface::Icon::Question, true))
            return false;
    }
    if (settings.UDP == 0 && settings.TCP == 0 && settings.MC == 0)
        return ui.askYesNo(kNoPortsQuestion, UserInterface::Icon::Question, true);
    return true;
}
