#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The program's about box: icon, product name with version, and the legal notice, the version
// facts read from the running program's own version block.
class AboutBox : public QDialog {
    Q_OBJECT

public:
    explicit AboutBox(QWidget* parent = nullptr);

private:
    void FillTexts();
    void LayOut();

    QLabel* m_icon;
    QLabel* m_productLine;
    QLabel* m_legalLine;
    QPushButton* m_ok;
};
