#pragma once

#include "common/DataDirectory.h"
#include "events/InternalEventTable.h"
#include "reporting/ReportTypes.h"

#include <QObject>
#include <QString>

#include <array>
#include <functional>

class InternalEventForwarder;
class UserInterface;

// Texts and controls of the "Eventos Internos" section of the configuration page.
namespace InternalEventIds {
constexpr int kGroup = 751; // "Eventos Internos"
constexpr int kLabelDc09 = 752;
constexpr int kLabelCid = 753;
constexpr int kLabelPartition = 754;
constexpr int kLabelZone = 755;
constexpr int kFirstRowLabel = 756; // "Teste Manual" .. "Cliente removido": 756..765
constexpr int kEdit = 766;          // check box "Editar"
constexpr int kSend = 767;          // button "Enviar"
constexpr int kHint = 768;          // "Clique para habilitar"
constexpr int kInactiveRow = 769;   // "...."
constexpr int kSave = 770;          // button "Salvar"

constexpr int kDc09Field = 565;
constexpr int kCidField = 566;
constexpr int kPartitionField = 567;
constexpr int kZoneField = 568;
constexpr int kFirstCodeField = 569; // 569..578, rows 0..9
constexpr int kFirstRowCheck = 579;  // 579..587, rows 1..9
constexpr int kStatusText = 588;
constexpr int kInactiveRowCount = 4;
} // namespace InternalEventIds

// The section's behaviour without widgets: the field texts, "Editar" locking,
// taking the fields into the table with their ranges, the row flags that act
// at once, "Salvar" and the manual test "Enviar". The view shows what it holds
// and reports the operator's input; changed() tells it to show again.
class InternalEventEditor final : public QObject {
    Q_OBJECT
public:
    enum Field {
        Dc09Account,
        CidAccount,
        Partition,
        Zone,
        FirstCode, // + row position
        kFieldCount = FirstCode + InternalEvent::kRowCount,
    };

    // Messages of the field check ("%1" and "%2" are the bounds).
    static constexpr const char* kMsgNotNumber = "Enter a positive integer.";
    static constexpr const char* kMsgOutOfRange = "Enter an integer between %1 and %2.";

    // Texts of the manual test's result.
    static constexpr const char* kSentText = "Success";
    static constexpr const char* kFailedText = "No ACK";
    static constexpr const char* kNotSentText = "Not allowed";

    InternalEventEditor(InternalEventTable& table, const DataDirectory& dir, InternalEventForwarder& forwarder,
                        UserInterface& ui, QObject* parent = nullptr);

    QString text(int field) const { return m_texts[static_cast<size_t>(field)]; }
    // The operator typed in a field. Every field but row 0's code enables "Salvar".
    void setText(int field, const QString& text);

    bool editing() const { return m_editing; }
    // "Editar": takes the fields into memory, then unlocks or locks the section.
    void setEditing(bool on);

    // Row check boxes (rows 1..9): the flag changes in the table at once.
    bool rowEnabled(int position) const { return m_table.row(position).enabled; }
    void setRowEnabled(int position, bool on);

    bool saveEnabled() const { return m_saveEnabled; }
    // "Enviar" is usable while a reporting mode other than off is applied.
    bool sendEnabled() const { return m_mode != ReportMode::Off; }
    void setAppliedReportMode(ReportMode mode);
    QString statusText() const { return m_statusText; }

    // Shows the table's values in the fields again (page activation).
    void refresh();
    // Takes every field into the table, in field order, up to the first one that
    // is not a number or out of range: that one shows the check's message and it
    // and the fields after it keep their previous values. Returns that field, or
    // -1 when all were taken.
    int takeFields();
    // The configuration page's exchange of values, which every section's Save
    // runs first; it takes this section's fields too (through takeFields).
    void setPageExchange(std::function<void()> exchange) { m_pageExchange = std::move(exchange); }
    // "Salvar": the page's exchange of values (or, without a page, this
    // section's fields alone), then "LocalEvents.lst"; disables "Salvar".
    void save();
    // "Enviar": takes the fields and sends the manual test; the result is shown
    // in the status text when it arrives.
    void sendManualTest();

    static QString resultText(ReportResult result);

signals:
    void changed();
    // The field that refused its value (the view moves the focus there).
    void fieldRefused(int field);

private:
    bool takeField(int field);

    InternalEventTable& m_table;
    DataDirectory m_dir;
    InternalEventForwarder& m_forwarder;
    UserInterface& m_ui;
    std::function<void()> m_pageExchange;
    std::array<QString, kFieldCount> m_texts;
    bool m_editing = false;
    bool m_saveEnabled = false;
    ReportMode m_mode = ReportMode::Off;
    QString m_statusText;
};
