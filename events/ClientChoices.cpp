#include "events/ClientChoices.h"

#include "clients/ClientRegistry.h"
#include "common/StringTable.h"

namespace {
constexpr int kStrAllClients = 208;
} // namespace

QList<ClientChoice> clientChoices(const ClientRegistry& registry) {
    QList<ClientChoice> choices;
    choices.append({StringTable::text(kStrAllClients), std::nullopt});
    registry.ForEachPrimary([&choices](const PrimaryClient* primary) {
        choices.append({primary->name, primary->name});
    });
    return choices;
}
