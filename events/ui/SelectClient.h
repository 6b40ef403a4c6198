#pragma once

#include "events/ClientChoices.h"

#include <QDialog>
#include <QList>

#include <optional>

class QComboBox;

// Picks the client whose events the events list shows (dialog 126): the
// drop-down list 1011 offers "Todos" and then every primary client; OK closes
// with the choice, "Todos" meaning all clients.
class SelectClient : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTitle = 126;
    static constexpr int kLabel = 1200;
    static constexpr int kChoiceList = 1011;

    explicit SelectClient(const QList<ClientChoice>& choices, QWidget* parent = nullptr);

    // The chosen client's name, or none for all clients.
    std::optional<QString> chosenClient() const;

private:
    QList<ClientChoice> m_choices;
    QComboBox* m_list;
};
