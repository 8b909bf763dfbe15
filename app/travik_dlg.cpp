// The main window: construction, start-up, drops and the system menu.
#include "travik_dlg.h"

#include "about_dlg.h"
#include "app_icon.h"
#include "dialog_units.h"
#include "resource_ids.h"
#include "sjis_text.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>

namespace {

const QString kAboutMenuText = QStringLiteral("Travik のﾊﾞｰｼﾞｮﾝ情報(&A)...");
const QString kCloseMenuText = QStringLiteral("閉じる(&C)");

// The first file of a drop, or an empty string when the first item dropped
// is no local file; the rest of the drop is ignored either way.
QString firstDroppedFile(const QMimeData& drop) {
    const QUrl first = drop.urls().value(0);
    return first.isLocalFile() ? first.toLocalFile() : QString();
}

}  // namespace

CTravikDlg::CTravikDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      m_hIcon(appIcon()),
      m_close(this),
      m_prompt(this),
      m_filename(this),
      m_info(this),
      m_play(this),
      m_progress(this) {
    buildControls();
    OnCreate();
}

// The controls of the main template, at their dialog-unit places.
void CTravikDlg::buildControls() {
    setFont(dialogFont());
    setWindowTitle(QStringLiteral("Velmora"));
    const DialogBaseUnits base = dialogBaseUnits(font());
    setFixedSize(mapDialogRect(QRect(0, 0, 142, 151), base).size());

    m_close.setText(QStringLiteral("Close"));
    m_close.setGeometry(mapDialogRect(QRect(102, 131, 35, 14), base));
    connect(&m_close, &QPushButton::clicked, this, &QDialog::reject);

    m_prompt.setText(QStringLiteral("Please drag and drop a ROM or SPC file."));
    m_prompt.setTextFormat(Qt::PlainText);
    m_prompt.setGeometry(mapDialogRect(QRect(2, 5, 135, 8), base));

    // Right-aligned and scrolled to its end, so a long path shows its file name.
    m_filename.setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_filename.setGeometry(mapDialogRect(QRect(2, 16, 135, 12), base));
    // Without a default push button Enter in the path field ends the dialog.
    connect(&m_filename, &QLineEdit::returnPressed, this, &QDialog::accept);

    m_info.setReadOnly(true);
    m_info.setLineWrapMode(QPlainTextEdit::NoWrap);
    m_info.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_info.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_info.setTabChangesFocus(true);
    m_info.setGeometry(mapDialogRect(QRect(2, 31, 135, 95), base));

    m_play.setText(QStringLiteral("Send"));
    m_play.setGeometry(mapDialogRect(QRect(2, 131, 41, 14), base));
    connect(&m_play, &QPushButton::clicked, this, &CTravikDlg::OnPlay);

    m_progress.setRange(0, 100);
    m_progress.setValue(0);
    m_progress.setTextVisible(false);
    m_progress.setGeometry(mapDialogRect(QRect(45, 130, 54, 15), base));

    // The prompt takes no focus; the rest tab in template order.
    setTabOrder(&m_close, &m_filename);
    setTabOrder(&m_filename, &m_info);
    setTabOrder(&m_info, &m_play);
}

// Window creation: the whole window takes file drops. The edit fields would
// take a dropped file as text; they leave it to the window.
int CTravikDlg::OnCreate() {
    setAcceptDrops(true);
    for (QWidget* child : {static_cast<QWidget*>(&m_filename), static_cast<QWidget*>(&m_info),
                           m_info.viewport()})
        child->setAcceptDrops(false);
    return 0;
}

// The dialog runs OnInitDialog as it is first shown, so that the probe's
// message box comes before the window.
void CTravikDlg::setVisible(bool visible) {
    const bool first = visible && !m_initialised;
    if (first) {
        m_initialised = true;
        OnInitDialog();
    }
    QDialog::setVisible(visible);
    if (first)
        emit shown();
}

bool CTravikDlg::OnInitDialog() {
    setWindowIcon(m_hIcon);
    m_rom.clear();
    m_play.setText(QStringLiteral("Play"));
    m_play.setEnabled(false);
    m_bTransfer = false;
    m_hDevice.reset();

    // The probe only tells the user whether the cable is there.
    OpenDevice();
    m_hDevice.reset();

    m_bSpcOnly = spcOnlyVariant();
    if (m_bSpcOnly) {
        setWindowTitle(QStringLiteral("Quillet"));
        m_prompt.setText(QStringLiteral("Please drag and drop a SPC file."));
    }
    m_close.setFocus(Qt::OtherFocusReason);
    return true;
}

void CTravikDlg::OpenDevice() {
    FT_HANDLE handle = nullptr;
    if (FT_OpenEx(kCableDescription, FT_OPEN_BY_DESCRIPTION, &handle) == FT_OK && handle) {
        m_hDevice.reset(handle);
        return;
    }
    m_hDevice.reset();
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Ready"),
                    QString::fromLatin1(kNotConnectedText), QMessageBox::Ok,
                    isVisible() ? this : nullptr);  // at start-up the window is not up yet
    const std::string& detail = lastOpenFailureDetail();
    if (!detail.empty())
        box.setInformativeText(QString::fromStdString(detail));
    box.exec();
}

void CTravikDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (!firstDroppedFile(*event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void CTravikDlg::dropEvent(QDropEvent* event) {
    OnDropFiles(*event->mimeData());
    event->acceptProposedAction();
}

void CTravikDlg::DropPath(const QString& path) {
    QMimeData drop;
    drop.setUrls({QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath())});
    OnDropFiles(drop);
}

// One drop: the first file counts. It replaces whatever was staged; an SPC
// file is tried first, then (full variant only) the file as a ROM image.
void CTravikDlg::OnDropFiles(const QMimeData& drop) {
    // The worker reads the staged data until it has returned.
    if (transferRunning())
        return;
    const QString path = firstDroppedFile(drop);
    if (path.isEmpty())
        return;
    m_filename.setText(path);
    m_progress.setValue(0);

    const DropResult result =
        stageDroppedFile(QFile::encodeName(path).toStdString(), m_bSpcOnly, m_spc, m_rom);
    if (result.staged()) {
        m_play.setText(QStringLiteral("Play"));
        m_play.setEnabled(true);
    }
    if (!result.infoText.empty())
        showInfo(result.infoText);
}

void CTravikDlg::showInfo(const std::string& text) {
    // The edit control shows CR LF as line breaks; the tag bytes are Shift_JIS.
    m_info.setPlainText(decodeShiftJis(text));
}

// Linux has no system menu of the window's own; the context menu of the
// window's background stands in for it.
void CTravikDlg::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(kCloseMenuText)->setData(SC_CLOSE);
    menu.addSeparator();
    menu.addAction(kAboutMenuText)->setData(IDM_ABOUTBOX);
    if (const QAction* chosen = menu.exec(event->globalPos()))
        OnSysCommand(chosen->data().toUInt());
}

void CTravikDlg::OnSysCommand(unsigned nID) {
    switch (nID & kSysCommandMask) {
    case IDM_ABOUTBOX: {
        CAboutDlg about(this);
        about.exec();
        break;
    }
    case SC_CLOSE:
        close();
        break;
    default:
        break;
    }
}
