#pragma once

#include "config/MulticomControl.h"

#include <QList>

// Records what the configuration asks of the Multicom listener.
class FakeMulticomControl : public MulticomControl {
public:
    bool OpenMulticomListener(quint16 port) override {
        opened.append(port);
        return true;
    }
    void CloseMulticomListener() override { ++closes; }

    QList<quint16> opened;
    int closes = 0;
};
