#pragma once

#include <QDialog>

// The about box (100): the product name as title, the program's picture, the
// product name followed by " V " and the four parts of the build's version, "OK".
class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);

    // "Atalaia V 1.0.0.0" for the version the build was made with.
    static QString label();
};
