#pragma once

#include "device/DeviceCommands.h"

#include <QHash>

#include <functional>

class QWidget;

// The desktop's side of the device commands: a client page is disabled with
// the wait cursor while a request it started runs, and the details dialog
// runs modally over the parent window.
//
// Requests of one page may overlap (an operator's query and a device's own
// callback request): the page comes back when the last of them ends. Every
// wait cursor set is restored, at the latest when the view goes.
class QtDeviceCommandView : public DeviceCommandView {
public:
    // The page widget of a page kind (ClientStatus); none for an unknown kind.
    using PageLookup = std::function<QWidget*(int pageKind)>;

    QtDeviceCommandView(QWidget* parent, PageLookup pages);
    ~QtDeviceCommandView() override;
    QtDeviceCommandView(const QtDeviceCommandView&) = delete;
    QtDeviceCommandView& operator=(const QtDeviceCommandView&) = delete;

    void setPageBusy(int pageKind, bool busy) override;
    void showDetails(DeviceDetailsForm& form) override;

private:
    QWidget* m_parent;
    PageLookup m_pages;
    QHash<int, int> m_running; // requests running per page kind, one wait cursor each
};
