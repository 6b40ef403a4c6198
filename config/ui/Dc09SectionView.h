#pragma once

#include <QWidget>

class Dc09Section;
class QLineEdit;
class QListWidget;
class QPushButton;

// The "DC-09" group of the configuration page: a thin view of Dc09Section.
// Widgets carry object names: "dc09Port", "dc09Lag", "dc09Lead", "dc09Keys"
// (the accounts that have a key, masked), "dc09Account", "dc09Key" (typed
// hidden), "dc09SetKey", "dc09RemoveKey" and "dc09Save".
class Dc09SectionView : public QWidget {
    Q_OBJECT
public:
    explicit Dc09SectionView(Dc09Section& section, QWidget* parent = nullptr);

    // The page opened, or the operator changed: "Dc09.cfg" again, Save disabled.
    void activate();

private:
    void showSettings();
    void showKeys();
    void setKey();
    void removeKey();
    void save();

    Dc09Section& m_section;
    QLineEdit* m_port = nullptr;
    QLineEdit* m_lag = nullptr;
    QLineEdit* m_lead = nullptr;
    QListWidget* m_keys = nullptr;
    QLineEdit* m_account = nullptr;
    QLineEdit* m_key = nullptr;
    QPushButton* m_setKey = nullptr;
    QPushButton* m_removeKey = nullptr;
    QPushButton* m_save = nullptr;
};
