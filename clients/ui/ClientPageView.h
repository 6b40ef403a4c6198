#pragma once

#include "common/ui/CStripedList.h"

#include <QIdentityProxyModel>

class ClientPageModel;
class RowIcons;

// Shows a client page model's link-state icon index as the row icon.
class ClientIconProxy : public QIdentityProxyModel {
    Q_OBJECT
public:
    ClientIconProxy(const RowIcons& icons, QObject* parent = nullptr);
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    const RowIcons& m_icons;
};

// The list of one client page (Online, Offline, Bloqueados, Novos) on the striped list.
class ClientPageView : public CStripedList {
    Q_OBJECT
public:
    ClientPageView(ClientPageModel& model, const RowIcons& icons, QWidget* parent = nullptr);

private:
    ClientIconProxy m_proxy;
};
