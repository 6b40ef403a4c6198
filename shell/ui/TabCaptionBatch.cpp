#include "shell/ui/TabCaptionBatch.h"

#include "shell/ui/MainFrame.h"

TabCaptionBatch::TabCaptionBatch(CMainFrame& frame, QObject* parent) : QObject(parent), m_frame(frame), m_timer(this) {
    static_assert(CMainFrame::kPageCount == std::tuple_size_v<decltype(m_captions)>);
    m_timer.setObjectName(QStringLiteral("tabCaptionTimer"));
    m_timer.setSingleShot(true);
    m_timer.setInterval(kIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &TabCaptionBatch::apply);
}

void TabCaptionBatch::post(int tab, const QString& caption, bool highlight) {
    if (tab < 0 || tab >= CMainFrame::kPageCount)
        return;
    Caption& waiting = m_captions[size_t(tab)];
    waiting.text = caption;
    waiting.highlight = highlight;
    waiting.waiting = true;
    if (!m_timer.isActive())
        m_timer.start();
}

void TabCaptionBatch::apply() {
    m_timer.stop();
    for (int tab = 0; tab < CMainFrame::kPageCount; ++tab) {
        Caption& caption = m_captions[size_t(tab)];
        if (!caption.waiting)
            continue;
        caption.waiting = false;
        m_frame.setTabCaption(tab, caption.text, caption.highlight);
    }
}
