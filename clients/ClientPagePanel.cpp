#include "clients/ClientPagePanel.h"

#include "clients/ClientDialogHost.h"
#include "clients/ClientForms.h"
#include "clients/ClientPages.h"
#include "clients/ClientRegistry.h"
#include "clients/ClientTransitions.h"
#include "common/HexText.h"
#include "common/StringTable.h"
#include "common/UserInterface.h"
#include "config/Operators.h"
#include "config/ServerSettings.h"

#include <memory>

namespace {
constexpr int kMsgAccessDenied = 141;
} // namespace

ClientPagePanel::ClientPagePanel(int kind, const Services& services, QObject* parent)
    : QObject(parent), m_kind(kind), m_services(services), m_model(services.pages.PageForStatus(kind)) {
    restoreCallbackDefaults();
    // The selected client's row went away (a move, a removal): nothing is picked any more.
    connect(m_model, &ClientPageModel::selectionCleared, this, [this] {
        m_nameText.clear();
        hideDependents();
        emit changed();
    });
}

bool ClientPagePanel::allowed(quint16 right) const {
    if (m_services.currentOperator.has(right))
        return true;
    m_services.ui.showMessage(StringTable::text(kMsgAccessDenied), UserInterface::Icon::Exclamation);
    return false;
}

ClientRecord* ClientPagePanel::clientInNameText() const {
    ClientRecord* selected = m_model->selected();
    if (selected && selected->name == m_nameText)
        return selected;
    for (int row = 0; row < m_model->rowCount(); ++row)
        if (m_model->textAt(row, 1) == m_nameText)
            return m_model->clientAt(row);
    return nullptr;
}

void ClientPagePanel::pickRow(int row) {
    if (row < 0 || row >= m_model->rowCount())
        return;
    m_nameText = m_model->textAt(row, 1);
    if (!m_nameText.isEmpty())
        m_model->setSelected(m_model->clientAt(row));
    refresh();
}

void ClientPagePanel::refresh() {
    ClientRecord* selected = m_model->selected();
    if (selected && selected->hasUnblockedDependent())
        fillDependents(static_cast<PrimaryClient*>(selected));
    else
        hideDependents();
    emit changed();
}

void ClientPagePanel::fillDependents(PrimaryClient* primary) {
    m_dependentTexts.clear();
    m_dependentSerials.clear();
    for (DependentAccount* d = primary->dependents; d; d = d->nextDependent) {
        if (m_kind != ClientStatus::New && d->status == ClientStatus::New)
            continue;
        m_dependentTexts << HexText::hex4(d->account);
        m_dependentSerials << d->serial;
    }
    m_chosen = m_dependentTexts.isEmpty() ? -1 : 0;
    m_dependentsVisible = true;
}

void ClientPagePanel::hideDependents() {
    m_dependentsVisible = false;
    m_dependentTexts.clear();
    m_dependentSerials.clear();
    m_chosen = -1;
}

DependentAccount* ClientPagePanel::chosenDependentRecord() const {
    if (!m_dependentsVisible || m_chosen < 0 || m_chosen >= m_dependentSerials.size())
        return nullptr;
    ClientRecord* record = m_services.registry.findBySerial(m_dependentSerials[m_chosen]);
    return record && record->isDependent() ? static_cast<DependentAccount*>(record) : nullptr;
}

void ClientPagePanel::setCallback(const QString& address, const QString& port) {
    m_callbackAddress = address;
    m_callbackPort = port;
}

void ClientPagePanel::restoreCallbackDefaults() {
    m_callbackAddress = m_services.settings.Tavi;
    m_callbackPort = QString::number(m_services.settings.Port);
    emit changed();
}

// ---- Online, Offline and Blocked pages ----

void ClientPagePanel::editClient() {
    if (!allowed(OperatorRight::Edit))
        return;
    ClientRecord* client = clientInNameText();
    m_model->setSelected(client);
    if (client)
        edit(client);
    else
        emit changed(); // nothing is selected any more
}

void ClientPagePanel::editDependent() {
    if (DependentAccount* dependent = chosenDependentRecord())
        edit(dependent);
}

void ClientPagePanel::edit(ClientRecord* client) {
    if (!m_dialogs)
        return;
    const bool editsSelected = m_model->selected() == client;
    ClientDataForm form(*client, m_kind, m_services.currentOperator.has(OperatorRight::Edit), m_services.registry,
                        m_services.transitions, m_services.ui);
    const int result = m_dialogs->runClientData(form);
    client = form.client(); // a variant change replaced the record
    ClientTransitions& transitions = m_services.transitions;
    switch (result) {
    case ClientDialogResult::Saved:
        transitions.refill(m_kind);
        m_services.registry.saveList();
        break;
    case ClientDialogResult::BlockOrRemove:
        if (m_kind == ClientStatus::Blocked) {
            if (!transitions.removeBlocked(*client))
                return; // message 170: nothing changed
        } else {
            transitions.block(*client, m_kind);
        }
        break;
    case ClientDialogResult::Cancelled:
        break;
    default:
        m_services.registry.saveList();
        break;
    }
    // A dependent's dialog leaves its primary picked.
    if (editsSelected)
        followRecord(client);
    else if (ClientRecord* selected = m_model->selected())
        followRecord(selected);
    refresh();
    emit clientsChanged();
}

void ClientPagePanel::followRecord(ClientRecord* client) {
    // The name box shows the record as it is now (a new name, a new variant);
    // a record that left this page takes the selection with it.
    const int row = m_model->FindRow(client);
    if (row < 0) {
        if (m_model->selected() == client)
            m_model->setSelected(nullptr);
        m_nameText.clear();
        return;
    }
    m_model->setSelected(m_model->clientAt(row));
    m_nameText = m_model->textAt(row, 1);
}

void ClientPagePanel::details() {
    if (!allowed(OperatorRight::Details))
        return;
    if (m_devices)
        m_devices->showDetails(clientInNameText(), m_nameText, m_kind);
}

void ClientPagePanel::sendCallback() {
    if (!allowed(OperatorRight::Details))
        return;
    if (m_devices)
        m_devices->sendCallback(clientInNameText(), m_callbackAddress, m_callbackPort);
}

void ClientPagePanel::unblock() {
    if (!allowed(OperatorRight::Edit))
        return;
    if (ClientRecord* client = clientInNameText()) {
        if (m_services.transitions.unblock(*client))
            emit clientsChanged();
    }
}

// ---- New page ----

void ClientPagePanel::newClient() {
    if (!allowed(OperatorRight::Edit) || !m_dialogs)
        return;
    ClientSetupForm form(nullptr, m_services.settings.EnableMulticom, m_services.registry, m_services.ui);
    if (m_dialogs->runClientSetup(form) != ClientDialogResult::Saved)
        return;
    PrimaryClient* client = form.takeRecord().release(); // the registry owns it from here
    m_services.transitions.place(*client, ClientStatus::New);
    m_services.registry.Register(client, true);
    emit clientsChanged();
}

void ClientPagePanel::removeNewClient() {
    if (!allowed(OperatorRight::Edit))
        return;
    ClientRecord* client = clientInNameText();
    if (client && m_services.transitions.discard(*client))
        m_services.registry.saveList();
    m_model->UpdateCaption(true);
    if (client)
        emit clientsChanged();
}

void ClientPagePanel::editNewClient() {
    if (!allowed(OperatorRight::Edit) || !m_dialogs)
        return;
    ClientRecord* selected = m_model->selected();
    if (!selected)
        return;
    if (selected->isDependent()) {
        editDependentOnNewPage(static_cast<DependentAccount*>(selected));
        return;
    }
    auto* client = static_cast<PrimaryClient*>(selected);
    ClientSetupForm form(client, m_services.settings.EnableMulticom, m_services.registry, m_services.ui);
    if (m_dialogs->runClientSetup(form) == ClientDialogResult::Saved) {
        // Only the status, account and name are taken; the panel and Multicom settings shown are not.
        m_services.registry.Unregister(client);
        client->status = form.record().status;
        client->account = form.record().account;
        client->name = form.record().name;
        m_services.registry.Register(client, true);
        m_model->AddClient(client); // its row's name and account again
    }
    m_nameText = client->name;
    emit changed();
}

void ClientPagePanel::newDependent() {
    if (!allowed(OperatorRight::Edit) || !m_dialogs)
        return;
    ClientRecord* named = clientInNameText();
    PrimaryClient* primary = named && named->isPrimary() ? static_cast<PrimaryClient*>(named) : nullptr;
    SetupDependentForm form(primary, nullptr, m_services.registry, m_services.ui);
    if (m_dialogs->runSetupDependent(form) != ClientDialogResult::Saved)
        return;
    PrimaryClient* owner = form.primary();
    DependentAccount* dependent = form.takeRecord().release(); // its primary owns it from here
    m_model->AddClient(dependent);
    owner->AddDependent(dependent);
    m_services.registry.Register(dependent, true);
    refresh();
    emit clientsChanged();
}

void ClientPagePanel::editNewDependent() {
    if (!allowed(OperatorRight::Edit))
        return;
    if (DependentAccount* dependent = chosenDependentRecord())
        editDependentOnNewPage(dependent);
}

void ClientPagePanel::editDependentOnNewPage(DependentAccount* dependent) {
    if (!m_dialogs)
        return;
    SetupDependentForm form(nullptr, dependent, m_services.registry, m_services.ui);
    if (m_dialogs->runSetupDependent(form) != ClientDialogResult::Saved)
        return;
    m_services.registry.Unregister(dependent);
    dependent->account = form.record().account;
    dependent->name = form.record().name;
    dependent->status = form.record().status;
    m_model->AddClient(dependent);
    m_services.registry.Register(dependent, true);
    refresh();
    emit clientsChanged();
}

void ClientPagePanel::removeNewDependent() {
    if (!allowed(OperatorRight::Edit))
        return;
    DependentAccount* dependent = chosenDependentRecord();
    if (!dependent)
        return;
    // Off every page that lists it (a blocked one has a row on the Blocked page), then freed.
    m_services.transitions.discard(*dependent);
    m_services.registry.saveList();
    refresh();
    emit clientsChanged();
}
