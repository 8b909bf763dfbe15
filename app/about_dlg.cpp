#include "about_dlg.h"

#include "app_icon.h"
#include "dialog_units.h"

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      m_icon(this),
      m_version(QStringLiteral("Travik Version 1.0"), this),
      m_copyright(QStringLiteral("Copyright (C) 2026 Travik"), this),
      m_ok(QStringLiteral("OK"), this) {
    setFont(dialogFont());
    setWindowTitle(QStringLiteral("Travikのﾊﾞｰｼﾞｮﾝ情報"));
    const DialogBaseUnits base = dialogBaseUnits(font());
    setFixedSize(mapDialogRect(QRect(0, 0, 235, 55), base).size());

    // A static icon shows the icon at its own size, whatever the template says.
    m_icon.setPixmap(appIcon().pixmap(32, 32));
    m_icon.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_icon.setGeometry(QRect(mapDialogRect(QRect(11, 17, 20, 20), base).topLeft(), QSize(32, 32)));
    m_version.setTextFormat(Qt::PlainText);  // SS_NOPREFIX
    m_version.setGeometry(mapDialogRect(QRect(40, 10, 119, 8), base));
    m_copyright.setTextFormat(Qt::PlainText);
    m_copyright.setGeometry(mapDialogRect(QRect(40, 25, 119, 8), base));
    m_ok.setGeometry(mapDialogRect(QRect(178, 7, 50, 14), base));
    m_ok.setDefault(true);
    connect(&m_ok, &QPushButton::clicked, this, &QDialog::accept);
}
