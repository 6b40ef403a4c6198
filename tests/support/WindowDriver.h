#pragma once

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>

// Drives real widgets as an operator would: finds them by object name, clicks
// them, and acts in a dialog as soon as it shows (a modal dialog's exec()
// would otherwise hold the test until somebody closed it).
namespace WindowDriver {

constexpr int kShowWaitMs = 5000;
constexpr int kPollMs = 10;

// The visible top-level widget with that object name, if any.
inline QWidget* shownWindow(const QString& objectName) {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible() && widget->objectName() == objectName)
            return widget;
    return nullptr;
}

// Runs act on the window named objectName once it shows (from the event loop,
// so also inside a dialog's own loop); gives up after kShowWaitMs. The flag
// tells whether act ran.
inline std::shared_ptr<bool> whenShown(const QString& objectName, std::function<void(QWidget*)> act) {
    auto ran = std::make_shared<bool>(false);
    auto* poll = new QTimer;
    auto waited = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, poll, [=] {
        *waited += kPollMs;
        if (QWidget* window = shownWindow(objectName)) {
            poll->stop();
            poll->deleteLater();
            *ran = true;
            act(window);
        } else if (*waited > kShowWaitMs) {
            poll->stop();
            poll->deleteLater();
        }
    });
    poll->start(kPollMs);
    return ran;
}

template <typename T> T* find(const QWidget* root, const QString& name) {
    return root ? root->findChild<T*>(name) : nullptr;
}

// Presses a button as the operator's click does: only one that shows and is
// enabled reacts. (A synthetic mouse click is not used: a scroll area may
// move the button between the press and the release.)
inline void click(QAbstractButton* button) {
    if (!button)
        return;
    EXPECT_TRUE(button->isVisible()) << qPrintable(button->objectName()) << " is not on screen";
    button->click();
}

inline void clickRow(QAbstractItemView* view, int row, Qt::MouseButton button = Qt::LeftButton) {
    const QRect cell = view->visualRect(view->model()->index(row, 1));
    QTest::mouseClick(view->viewport(), button, {}, cell.center());
}

} // namespace WindowDriver
