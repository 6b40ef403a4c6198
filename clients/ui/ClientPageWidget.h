#pragma once

#include <QList>
#include <QWidget>

class ClientPagePanel;
class ClientPageView;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class RowIcons;

// Control numbers of the client pages' side panel.
namespace ClientPageControl {
constexpr int ClientGroup = 1200;
constexpr int NameBox = 1010;
constexpr int Edit = 1201;
constexpr int EditDependent = 1202;
constexpr int AccountLabel = 1203;
constexpr int Details = 1204;
constexpr int Send = 1205;
constexpr int AddressLabel = 1206;
constexpr int PortLabel = 1207;
constexpr int CallbackGroup = 1208;
constexpr int Unblock = 1210;
constexpr int DependentsBox = 1211;
constexpr int Address = 1212;
constexpr int Port = 1213;
constexpr int Defaults = 1214;
// New page.
constexpr int NewClient = 1269;
constexpr int RemoveClient = 125;
constexpr int DependentsGroup = 192;
constexpr int DependentLabel = 193;
constexpr int NewDependent = 1270;
constexpr int RemoveDependent = 1003;
} // namespace ClientPageControl

// One client page (Online, Offline, Bloqueados, Novos): the page's list on
// the left and, in a column of fixed width on the right, the side panel of
// ClientPagePanel. The widget shows the panel's state whenever it changes and
// forwards the operator's clicks and typing; the commands and their rules are
// the panel's.
class ClientPageWidget : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPanelWidth = 260;

    ClientPageWidget(ClientPagePanel& panel, const RowIcons& icons, QWidget* parent = nullptr);

    ClientPageView* list() const { return m_list; }

private:
    QWidget* buildClientGroup();
    QWidget* buildNewDependentsGroup();
    QWidget* buildCallbackGroup();
    QPushButton* button(int control, int textString, void (ClientPagePanel::*command)());
    void showState();

    ClientPagePanel& m_panel;
    ClientPageView* m_list;
    QLineEdit* m_name = nullptr;
    // The dependents controls, shown only while the panel lists dependents.
    QList<QWidget*> m_dependentControls;
    QComboBox* m_dependents = nullptr;
    QLineEdit* m_address = nullptr;
    QLineEdit* m_port = nullptr;
};
