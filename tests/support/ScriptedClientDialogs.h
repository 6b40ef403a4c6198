#pragma once

#include "clients/ClientDialogHost.h"
#include "clients/ClientForms.h"

#include <QList>

#include <functional>

// Stands in for the client dialogs: each showing takes the next prepared
// answer, which may fill the form and press its buttons, and returns the
// dialog's result. With no answer left the dialog is cancelled.
class ScriptedClientDialogs : public ClientDialogHost {
public:
    template <typename Form> using Answer = std::function<int(Form&)>;

    QList<Answer<ClientDataForm>> clientData;
    QList<Answer<ClientSetupForm>> clientSetup;
    QList<Answer<SetupDependentForm>> setupDependent;
    int shown = 0;

    int runClientData(ClientDataForm& form) override { return next(clientData, form); }
    int runClientSetup(ClientSetupForm& form) override { return next(clientSetup, form); }
    int runSetupDependent(SetupDependentForm& form) override { return next(setupDependent, form); }

    // "Salvar" with the fields the dialog opened with, changed by edit; a
    // refused save leaves the dialog cancelled, as an operator giving up would.
    template <typename Form> static Answer<Form> save(std::function<void(typename Form::Fields&)> edit = {}) {
        return [edit](Form& form) {
            typename Form::Fields fields = form.fields();
            if (edit)
                edit(fields);
            const FormOutcome outcome = form.save(fields);
            return outcome.result == ClientDialogResult::StayOpen ? ClientDialogResult::Cancelled : outcome.result;
        };
    }
    static Answer<ClientDataForm> button3() {
        return [](ClientDataForm&) { return ClientDialogResult::BlockOrRemove; };
    }

private:
    template <typename Form> int next(QList<Answer<Form>>& answers, Form& form) {
        ++shown;
        return answers.isEmpty() ? ClientDialogResult::Cancelled : answers.takeFirst()(form);
    }
};
