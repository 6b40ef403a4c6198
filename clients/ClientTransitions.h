#pragma once

#include "common/DataDirectory.h"

#include <functional>

class ClientPages;
class ClientRecord;
class ClientRegistry;
class ClientStatusEvents;
class EventRequests;
class PrimaryClient;
class UserInterface;
struct ServerSettings;

// The one owner of a client's moves between states and pages: the status and
// link state (the pages only list what they are told), the page rows, the offline sound, the internal events of a
// client lost or back, and the list save that a first contact asks for. The
// contact recorder and the monitor call it; so will every page command.
//
// Threads: the main thread, like the registry and the pages.
class ClientTransitions {
public:
    static constexpr const char* kOfflineSound = "Offline.wav";

    ClientTransitions(ClientRegistry& registry, ClientPages& pages, ClientStatusEvents& events, EventRequests& requests,
                      UserInterface& ui, const ServerSettings& settings, const DataDirectory& dir);

    // The tab index of the page on screen (1 online, 2 offline, ...; none when unset).
    void setCurrentPage(std::function<int()> page) { m_currentPage = std::move(page); }

    // The device link heard from client; reported is the record of the account
    // the message named (none when no record has it). A new account leaves the
    // New list; a client not green turns green and moves by its status: new to
    // Online (its still-new dependents keep rows), offline back to Online with
    // the restore of "Cliente offline", online and blocked refresh their rows.
    // The list is saved once when a new account or client was first heard.
    void heard(PrimaryClient& client, ClientRecord* reported);

    // A still-new record named by a device's event leaves the New list first:
    // a dependent account becomes online there; a primary keeps its status
    // for the contact that follows. The list is saved.
    void newAccountHeard(ClientRecord& record);

    // The monitor's steps: both countdowns ran out once (late, yellow) or again
    // (lost, red). A lost online client moves to the Offline page with the
    // offline sound and "Cliente offline" (1006) only while serverLinkUp; else
    // it stays on the Online page, red.
    void turnLate(PrimaryClient& client);
    void turnLost(PrimaryClient& client, bool serverLinkUp);
    // The link icon of a blocked or new client changed.
    void linkIconChanged(PrimaryClient& client);

    // Lists record on the page of status and gives it that status; a primary
    // placed on the Blocked page takes its dependents that are not new with it.
    void place(ClientRecord& record, int status);

    // The operator's commands on the pages.
    // "Bloquear" on the page of kind fromKind: the client goes to the Blocked
    // page (a primary's dependents that are not new with it), leaves the page
    // it was edited on, and "Cliente bloqueado" is raised.
    void block(ClientRecord& client, int fromKind);
    // "Desbloquear": the client leaves the Blocked page for Offline (red) or
    // Online, a primary's blocked dependents keep rows of their own there,
    // and the restore of "Cliente bloqueado" is raised. False, with message
    // 174 or "Dependent has not a primary", for a dependent that must wait.
    bool unblock(ClientRecord& client);
    // "Remover" of a blocked client: "Cliente removido" is raised, then the
    // record is discarded. False (message 170) for a primary with dependents.
    bool removeBlocked(ClientRecord& client);
    // Takes record off every page that lists it and out of the registry, and
    // frees it, so that nothing keeps a reference to it. False (message 170,
    // nothing changed) for a primary with dependents.
    bool discard(ClientRecord& record);
    void refill(int kind);

    static constexpr const char* kNoPrimaryText = "Dependent has not a primary";

private:
    void redrawIfShown(int status);

    ClientRegistry& m_registry;
    ClientPages& m_pages;
    ClientStatusEvents& m_events;
    EventRequests& m_requests;
    UserInterface& m_ui;
    const ServerSettings& m_settings;
    DataDirectory m_dir;
    std::function<int()> m_currentPage;
};
