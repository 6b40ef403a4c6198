#pragma once

#include "fuzz/FuzzRegistry.h"
#include "tests/support/ClientWorld.h"

// The client world of the tests, wired as the application wires it, kept for
// the whole run of a fuzz target and emptied before each input.
inline ClientWorld& emptiedWorld() {
    static ClientWorld world;
    emptied(world.registry);
    world.pages.refillAll(world.registry);
    world.settings = ServerSettings{};
    world.events.clear();
    world.events.onRaise = nullptr;
    world.requests.requests.clear();
    world.ui.messages.clear();
    world.ui.questions.clear();
    world.ui.sounds.clear();
    world.ui.statusFields.clear();
    world.ui.statusHistory.clear();
    world.reporter.requests.clear();
    world.reporter.pending.clear();
    world.saves = 0;
    return world;
}

// Takes a client with its dependents out of the registry and off its page, as
// a removal by the operator does, without freeing it (the caller keeps it).
inline void takeOut(ClientWorld& world, PrimaryClient* client) {
    for (DependentAccount* d = client->dependents; d; d = d->nextDependent)
        world.registry.Unregister(d);
    world.registry.Unregister(client);
    if (ClientPageModel* page = world.pages.PageForStatus(client->status))
        page->RemoveClient(client);
}
