#include "device/ui/QtDeviceCommandView.h"

#include "device/ui/DialogDetails.h"

#include <QApplication>
#include <QWidget>

QtDeviceCommandView::QtDeviceCommandView(QWidget* parent, PageLookup pages)
    : m_parent(parent), m_pages(std::move(pages)) {}

QtDeviceCommandView::~QtDeviceCommandView() {
    for (int running : std::as_const(m_running)) {
        for (int i = 0; i < running; ++i)
            QApplication::restoreOverrideCursor();
    }
}

void QtDeviceCommandView::setPageBusy(int pageKind, bool busy) {
    int& running = m_running[pageKind];
    if (busy) {
        ++running;
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        if (running == 0)
            return; // an end without its start: no cursor of ours to restore
        --running;
        QApplication::restoreOverrideCursor();
    }
    if (QWidget* page = m_pages ? m_pages(pageKind) : nullptr)
        page->setEnabled(running == 0);
}

void QtDeviceCommandView::showDetails(DeviceDetailsForm& form) {
    DialogDetails dialog(form, m_parent);
    dialog.exec();
}
