#include "clients/ui/ClientPageView.h"

#include "clients/ClientPageModel.h"
#include "common/ui/RowIcons.h"

ClientIconProxy::ClientIconProxy(const RowIcons& icons, QObject* parent)
    : QIdentityProxyModel(parent), m_icons(icons) {}

QVariant ClientIconProxy::data(const QModelIndex& index, int role) const {
    if (role == Qt::DecorationRole && index.column() == 0)
        return m_icons.linkState(QIdentityProxyModel::data(index, ClientPageModel::IconRole).toInt());
    return QIdentityProxyModel::data(index, role);
}

ClientPageView::ClientPageView(ClientPageModel& model, const RowIcons& icons, QWidget* parent)
    : CStripedList(parent), m_proxy(icons) {
    m_proxy.setSourceModel(&model);
    setModel(&m_proxy);
    setIconSize(QSize(RowIcons::kSize, RowIcons::kSize));
    QList<int> widths;
    for (const ClientPageModel::Column& column : model.columns())
        widths.append(column.width);
    setColumnWidths(widths);
    connect(&model, &ClientPageModel::redrawRequested, viewport(), qOverload<>(&QWidget::update));
}
