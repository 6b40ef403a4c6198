#pragma once

#include "clients/ClientPageModel.h"

#include <functional>

// The "Novos" page: new primaries, and new dependents whose primary is not on
// this page (white icon). Columns: icon, "Cliente", "Conta", "Comentario"
// (always empty).
class NewClientsPageModel : public ClientPageModel {
    Q_OBJECT
public:
    explicit NewClientsPageModel(int lockTimeoutMs = TimedLock::kDefaultTimeoutMs, QObject* parent = nullptr);

    // Called when "New register.wav" should play (a new client or account was
    // heard from for the first time); the owner checks the sound setting.
    void setNewRegisterSound(std::function<void()> play) { m_playNewRegister = std::move(play); }

    void Refill(ClientRegistry& registry) override;
    // -1 and nothing else for a dependent whose primary has a row here.
    // Otherwise a client without a row gets one; in every case the
    // row's name and account are set again.
    int AddClient(ClientRecord* client) override;
    // RemoveNewPrimary for a primary, RemoveNewAccount for a dependent.
    void RemoveClient(ClientRecord* client) override;

    // Deletes the primary's row; if it had one, its dependents that are still
    // new get rows of their own and the new-register sound plays. The
    // primary's status is left to the caller.
    void RemoveNewPrimary(ClientRecord* client);
    // Deletes the record's row (if it had one: the sound plays). Its dependents
    // get no rows.
    void RemoveNewAccount(ClientRecord* record);

private:
    int addClientUnlocked(ClientRecord* client);
    void playNewRegister();

    std::function<void()> m_playNewRegister;
};
