#include "config/Dc09Section.h"

#include "common/AesCbc.h"
#include "common/StringTable.h"
#include "common/UserInterface.h"
#include "config/Operators.h"

#include <optional>

namespace {

constexpr int kMsgAccessDenied = 141;
constexpr int kMinAccountDigits = 3;
constexpr int kMaxAccountDigits = 16;
constexpr int kBitsPerByte = 8;

bool isHexText(const QString& text) {
    for (const QChar c : text) {
        const char latin = c.toLatin1();
        if (!((latin >= '0' && latin <= '9') || (latin >= 'A' && latin <= 'F') || (latin >= 'a' && latin <= 'f')))
            return false;
    }
    return !text.isEmpty();
}

// A field of decimal digits alone, at most max.
std::optional<int> fieldNumber(const QString& text, int max) {
    const QString digits = text.trimmed();
    bool ok = !digits.isEmpty();
    for (const QChar c : digits)
        ok = ok && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    const qlonglong value = ok ? digits.toLongLong(&ok) : 0;
    if (!ok || value > max)
        return std::nullopt;
    return static_cast<int>(value);
}

} // namespace

Dc09Section::Dc09Section(const DataDirectory& dir, const CurrentOperator& current, UserInterface& ui)
    : m_dir(dir), m_current(current), m_ui(ui) {}

void Dc09Section::load() {
    QList<Dc09ConfigFile::Problem> problems; // said once at start-up; the page shows what was taken
    Dc09ConfigFile::load(m_dir, m_settings, problems);
    m_keysChanged = false;
}

Dc09Form Dc09Section::form() const {
    return {QString::number(m_settings.port), QString::number(m_settings.lag), QString::number(m_settings.lead)};
}

QList<Dc09Section::KeyRow> Dc09Section::keyRows() const {
    QList<KeyRow> rows;
    for (auto key = m_settings.keys.constBegin(); key != m_settings.keys.constEnd(); ++key) {
        rows.append({QString::fromLatin1(key.key()),
                     QStringLiteral("AES-%1 %2").arg(key.value().size() * kBitsPerByte).arg(QString::fromUtf8(kMask))});
    }
    return rows;
}

bool Dc09Section::mayChangeKeys() const {
    return m_current.has(OperatorRight::Configuration);
}

bool Dc09Section::checkRight() {
    if (mayChangeKeys())
        return true;
    m_ui.showMessage(StringTable::text(kMsgAccessDenied), UserInterface::Icon::Exclamation);
    return false;
}

void Dc09Section::refuse(const QString& text) {
    m_ui.showMessage(text, UserInterface::Icon::Exclamation);
}

bool Dc09Section::setKey(const QString& account, const QString& hexKey) {
    if (!checkRight())
        return false;
    const QString name = account.trimmed().toUpper();
    const bool every = name == QLatin1String(Dc09Settings::kEveryAccount);
    if (!every && (name.size() < kMinAccountDigits || name.size() > kMaxAccountDigits || !isHexText(name))) {
        refuse(QString::fromUtf8(kAccountText));
        return false;
    }
    const QString hex = hexKey.trimmed();
    if (!isHexText(hex) || hex.size() % 2 != 0 || !AesCbc::isKeyLength(hex.size() / 2)) {
        refuse(QString::fromUtf8(kKeyText));
        return false;
    }
    m_settings.keys.insert(name.toLatin1(), QByteArray::fromHex(hex.toLatin1()));
    m_keysChanged = true;
    return true;
}

bool Dc09Section::removeKey(const QString& account) {
    if (!checkRight())
        return false;
    if (m_settings.keys.remove(account.trimmed().toUpper().toLatin1()) == 0) {
        refuse(QString::fromUtf8(kNoKeyText));
        return false;
    }
    m_keysChanged = true;
    return true;
}

bool Dc09Section::save(const Dc09Form& form) {
    const std::optional<int> port = fieldNumber(form.port, 0xFFFF);
    if (!port) {
        refuse(QString::fromUtf8(kPortText));
        return false;
    }
    const std::optional<int> lag = fieldNumber(form.lag, Dc09Settings::kMaxWindow);
    const std::optional<int> lead = fieldNumber(form.lead, Dc09Settings::kMaxWindow);
    if (!lag || !lead) {
        refuse(QString::fromUtf8(kWindowText));
        return false;
    }
    m_settings.port = static_cast<quint16>(*port);
    m_settings.lag = *lag;
    m_settings.lead = *lead;
    if (!Dc09ConfigFile::write(m_dir, m_settings)) {
        m_ui.showMessage(QString::fromUtf8(kNotWrittenText), UserInterface::Icon::Error);
        return false;
    }
    m_keysChanged = false;
    return true;
}
