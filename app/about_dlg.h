#pragma once
// The About box: icon, version line, copyright line and OK.

#include <QDialog>
#include <QLabel>
#include <QPushButton>

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    QPushButton& okButton() { return m_ok; }

private:
    QLabel m_icon;
    QLabel m_version;
    QLabel m_copyright;
    QPushButton m_ok;
};
