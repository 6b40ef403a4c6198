#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include <optional>

class ClientRegistry;

// One entry of the client picker: "Todos" (no client) first, then every
// primary client in the registry's order.
struct ClientChoice {
    QString text;
    std::optional<QString> clientName; // the filter it selects; none for all clients
};

QList<ClientChoice> clientChoices(const ClientRegistry& registry);
