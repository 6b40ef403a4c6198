#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>

class CMainFrame;

// The client pages' tab captions, put on the tabs at most once per batch
// interval. A page announces its caption whenever its list changes; in a
// burst (many clients coming back after an outage) that is once per client
// moved, and every new tab text lays the whole tab bar out again. The latest
// caption and highlight of each tab wait here and are applied together when
// the interval ends, so the tabs end as the last announcement left them.
class TabCaptionBatch : public QObject {
    Q_OBJECT
public:
    // As often as the events list shows its batches: at most 20 times a second.
    static constexpr int kIntervalMs = 50;

    explicit TabCaptionBatch(CMainFrame& frame, QObject* parent = nullptr);

    // Keeps the caption of a tab until the batch ends.
    void post(int tab, const QString& caption, bool highlight);
    // Puts the waiting captions on their tabs now (the batch timer calls it).
    void apply();

private:
    struct Caption {
        QString text;
        bool highlight = false;
        bool waiting = false;
    };

    CMainFrame& m_frame;
    std::array<Caption, 6> m_captions; // by tab index
    QTimer m_timer;
};
