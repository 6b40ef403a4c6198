#pragma once

#include "clients/ClientRecord.h"
#include "clients/ClientRegistry.h"

#include <vector>

// Empties a registry that a fuzz target keeps for its whole run, record by
// record: a new registry for every input (or a Shutdown, which clears the slot
// of every account) would cost more than the input itself.
inline ClientRegistry& emptied(ClientRegistry& registry) {
    std::vector<PrimaryClient*> primaries;
    registry.ForEachPrimary([&primaries](PrimaryClient* client) { primaries.push_back(client); });
    for (PrimaryClient* client : primaries) {
        for (DependentAccount* d = client->dependents; d; d = d->nextDependent)
            registry.Unregister(d);
        registry.Unregister(client);
        delete client; // with its dependents
    }
    return registry;
}
