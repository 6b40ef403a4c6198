#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QPixmap>
#include <QStaticText>
#include <QStyledItemDelegate>

#include <array>
#include <optional>

class RowIcons;

// Draws the cells of the events list without laying text out while painting.
// A repaint of the list draws every visible cell; the generic delegate asks
// the model for fonts, colours and icons cell by cell and shapes each text
// anew. Here the result icons are pixmaps drawn once, and each text is shaped
// once into a static text (cut to its column with "…" where it does not fit)
// and kept for the next repaints: the texts of the list repeat (a few clients
// and event kinds), and the time texts change once a second. Cells are filled
// with their row's band colour or, when selected, the highlight; the text is
// centred.
class EventRowDelegate : public QStyledItemDelegate {
public:
    // The texts kept at most; past that the cache starts afresh.
    static constexpr int kMaxCachedTexts = 4096;

    explicit EventRowDelegate(const RowIcons& icons, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    struct CachedText {
        QStaticText text;
        int width = 0;
    };
    struct TextKey {
        QString text;
        int width;
        bool operator==(const TextKey& other) const { return width == other.width && text == other.text; }
    };
    friend size_t qHash(const TextKey& key, size_t seed) { return qHashMulti(seed, key.text, key.width); }

    // The text shaped for the font in use, cut to width.
    const CachedText& shaped(const QString& text, int width, const QFont& font) const;

    std::array<QPixmap, 4> m_results; // by result value; index 1 unused
    mutable QFont m_font;
    mutable std::optional<QFontMetrics> m_metrics;
    mutable QHash<TextKey, CachedText> m_texts;
};
