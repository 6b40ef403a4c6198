#pragma once

#include <QMainWindow>

class CInfoBar;
class QAction;
class QTabWidget;

// The main window: the tab host with the six pages, the status bar and the menu.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kPageCount = 6;
    static constexpr int kEventsTab = 0;
    static constexpr int kStrFirstTab = 114; // the tab captions "Eventos" .. "Configuração" are 114..119
    static constexpr int kConfigTab = 5;

    explicit CMainFrame(QWidget* parent = nullptr);

    CInfoBar* infoBar() const { return m_infoBar; }
    QTabWidget* tabs() const { return m_tabs; }
    // Gives the window a size (never larger than the screen's free area) and
    // centres it on the screen.
    void place(QSize size);
    // Where place() puts a window of the stored size on a screen whose free
    // area is available: at most that area, at least the minimum, centred.
    static QRect placement(QSize stored, const QRect& available, QSize minimum);
    // Puts a page's widget in its tab (replacing the empty placeholder).
    void setPage(int index, QWidget* page);
    // The tab caption rule of the client pages: title, or title + " (" count ")".
    void setTabCaption(int index, const QString& caption, bool highlight);

signals:
    void showAllClientsRequested();
    // The operator closed the window ("&Sair" or the window's close box); the run decides how to end.
    void closeRequested();
    void selectClientRequested();
    // "&Trocar operador".
    void changeOperatorRequested();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenu();
    void onTabChanged(int index);

    QTabWidget* m_tabs = nullptr;
    CInfoBar* m_infoBar = nullptr;
    QAction* m_showAll = nullptr;
    QAction* m_selectClient = nullptr;
};
