#include "app_test_support.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>
#include <QWindow>

#include <stdexcept>

ScratchCwd::ScratchCwd(bool withIni) {
    if (withIni)
        write(QStringLiteral("Travik.ini"), {});
}

ScratchCwd::~ScratchCwd() = default;

QString ScratchCwd::file(const QString& name) const {
    return QString::fromStdString(m_dir.file(name.toStdString()));
}

QString ScratchCwd::write(const QString& name, const Bytes& bytes) const {
    return QString::fromStdString(m_dir.write(name.toStdString(), bytes));
}

CableGuard::CableGuard(const std::string& option) {
    std::string error;
    auto choice = chooseCable(option, {}, error);
    if (!choice || !choice->sim)
        throw std::runtime_error("bad cable option: " + error);
    m_choice = *choice;
    selectCableBackend(m_choice.backend);
}

CableGuard::~CableGuard() {
    selectCableBackend(nullptr);
}

Bytes spcFileBytes(const std::string& game, const std::string& title, std::uint8_t tagType) {
    Bytes bytes(0x10200, 0);
    const std::string signature = "SNES-SPC700 Sound File Data v0.30";
    std::copy(signature.begin(), signature.end(), bytes.begin());
    bytes[0x21] = 26;
    bytes[0x22] = 26;
    bytes[0x23] = tagType;
    bytes[0x24] = 30;
    std::copy(title.begin(), title.end(), bytes.begin() + 0x2E);
    std::copy(game.begin(), game.end(), bytes.begin() + 0x4E);
    bytes[0xD2] = '1';  // text layout
    // RAM and DSP bytes that differ, so a shifted payload shows.
    const Bytes body = patternBytes(0x10080, 7);
    std::copy(body.begin(), body.end(), bytes.begin() + 0x100);
    return bytes;
}

void dropFiles(QWidget& target, const QStringList& paths) {
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(QUrl::fromLocalFile(path));
    dropUrls(target, urls);
}

void dropUrls(QWidget& target, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    // File managers offer the paths as plain text too, which edit fields take.
    QStringList texts;
    for (const QUrl& url : urls)
        texts.append(url.isLocalFile() ? url.toLocalFile() : url.toString());
    data.setText(texts.join('\n'));

    // A real drop reaches the top-level window handle at a window position;
    // the window finds the child under it and passes the drop up to the
    // nearest widget that accepts drops. Enter, move, drop, as the platform
    // sends them.
    QWindow* window = target.window()->windowHandle();
    if (!window)
        throw std::logic_error("dropFiles: the window is not shown");
    const QPoint at = target.mapTo(target.window(), target.rect().center());
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &enter);
    QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &move);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &drop);
}

MessageBoxWatcher::MessageBoxWatcher(const QWidget* window) : m_window(window) {
    QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
    m_timer.start(10);
}

void MessageBoxWatcher::poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || box == m_last || !box->isVisible())
        return;
    m_last = box;
    m_seen.push_back({box->windowTitle(), box->text(), box->informativeText(),
                      m_window && m_window->isVisible()});
    if (m_handler)
        m_handler(*box);
    else
        box->done(QMessageBox::Ok);
}
