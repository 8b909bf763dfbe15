// The main window's side of a transfer: Play/Stop, the poll timer, the
// worker's calls into the window, and the end of the window.
#include "travik_dlg.h"

#include "resource_ids.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QMessageBox>
#include <QTimerEvent>

#include <sys/resource.h>
#include <unistd.h>

#include <system_error>
#include <utility>

namespace {

// Above-normal priority for the worker, as far as the user may raise it.
void raiseWorkerPriority() {
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), -5);  // EPERM for most users: fine
}

}  // namespace

CTravikDlg::~CTravikDlg() {
    OnDestroy();
}

void CTravikDlg::OnPlay() {
    if (m_bTransfer) {  // Stop: the worker ends at its next look at the flag
        m_bTransfer = false;
        m_play.setText(QStringLiteral("Play"));
        m_progress.setValue(0);
        return;
    }
    // The last transfer is still ending (its worker finishing a block, or the
    // cable not yet closed by the timer): a second worker must not start.
    if (m_workerRunning || m_pollTimer.isActive())
        return;
    OpenDevice();
    if (!m_hDevice)
        return;
    if (!staged()) {
        m_hDevice.reset();
        return;
    }
    m_progress.setValue(0);
    m_play.setText(QStringLiteral("Stop"));
    m_bTransfer = true;
    startWorker(m_spc.loaded != 0);
    m_pollTimer.start(kPollTimerMs, this);
}

void CTravikDlg::startWorker(bool spc) {
    m_workerRunning = true;
    try {
        m_pWorker = std::thread([this, spc] {
            raiseWorkerPriority();
            if (spc)
                SpcUploadThread(*this);
            else
                RomUploadThread(*this);
            QMetaObject::invokeMethod(this, "onWorkerReturned", Qt::QueuedConnection);
        });
        ++m_workersStarted;
    } catch (const std::system_error&) {
        // No thread: nothing will clear the flag, so the next tick ends the transfer.
        m_workerRunning = false;
        m_bTransfer = false;
    }
}

// The worker has returned: the transfer is over whatever the flag says (a
// worker that stops early may leave it set).
void CTravikDlg::onWorkerReturned() {
    if (m_pWorker.joinable())
        m_pWorker.join();
    m_workerRunning = false;
    m_bTransfer = false;
    emit workerFinished();
}

void CTravikDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_pollTimer.timerId())
        OnTimer(kPollTimerId);
    else
        QDialog::timerEvent(event);
}

// Ends a transfer on the UI side once the worker has returned: the cable is
// never closed under a write in flight.
void CTravikDlg::OnTimer(int nIDEvent) {
    if (nIDEvent != kPollTimerId || m_bTransfer || m_workerRunning)
        return;
    m_pollTimer.stop();
    m_play.setText(QStringLiteral("Play"));
    m_hDevice.reset();
}

// Every way of ending the window comes here (Close, Esc, Enter in the path
// field, the window's close command).
void CTravikDlg::done(int result) {
    if (m_workerCallDepth > 0) {
        // Inside a blocking call of the worker (its message box is up): waiting
        // here would deadlock. Close the box, let the worker go on, and close
        // the window once that call has returned.
        m_closing = true;
        m_bTransfer = false;
        m_deferredClose = result;
        if (m_workerBox)
            m_workerBox->done(QMessageBox::Ok);
        return;
    }
    // A close that arrives while OnDestroy waits for the worker (a window
    // manager's close is no user input) is the same close: the outer call
    // finishes it.
    if (m_destroyed)
        return;
    OnDestroy();
    QDialog::done(result);
}

// The end of the window: stop the worker, wait for it while serving its calls,
// release the ROM buffer. Runs once; the destructor calls it as well.
void CTravikDlg::OnDestroy() {
    if (m_destroyed)
        return;
    m_destroyed = true;
    m_closing = true;
    m_bTransfer = false;
    if (m_workerBox)
        m_workerBox->done(QMessageBox::Ok);
    waitForWorker();
    m_rom.clear();
}

// A local event loop until the worker has returned: its progress, path and
// message-box calls are blocking calls into this thread.
void CTravikDlg::waitForWorker() {
    QEventLoop loop;
    while (m_workerRunning)
        loop.processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::ExcludeUserInputEvents);
}

// Runs `call` on the UI thread and returns once it has run. The hand-over
// goes through our own mutex, so that every byte the call reads or writes is
// ordered between the threads (a blocking queued call would order them too,
// but out of the sight of the thread checker).
void CTravikDlg::callInUi(const std::function<void()>& call) {
    std::unique_lock lock(m_callMutex);
    m_pendingCall = &call;
    m_callDone = false;
    lock.unlock();
    QMetaObject::invokeMethod(this, "runWorkerCall", Qt::QueuedConnection);
    lock.lock();
    m_callDoneSignal.wait(lock, [this] { return m_callDone; });
}

void CTravikDlg::runWorkerCall() {
    const std::function<void()>* call = nullptr;
    {
        const std::lock_guard lock(m_callMutex);
        call = std::exchange(m_pendingCall, nullptr);
    }
    if (!call)
        return;
    ++m_workerCallDepth;
    (*call)();
    --m_workerCallDepth;
    {
        const std::lock_guard lock(m_callMutex);
        m_callDone = true;
    }
    m_callDoneSignal.notify_one();
    if (m_workerCallDepth == 0 && m_deferredClose) {
        const int result = *m_deferredClose;
        m_deferredClose.reset();
        QMetaObject::invokeMethod(this, [this, result] { done(result); }, Qt::QueuedConnection);
    }
}

std::string CTravikDlg::pathText() {
    std::string path;
    callInUi([&] { path = QFile::encodeName(m_filename.text()).toStdString(); });
    return path;
}

void CTravikDlg::setProgress(int position) {
    callInUi([&] { m_progress.setValue(position); });
}

// The worker's message boxes belong to the window and carry the application
// name. A window that is closing shows none: nobody would answer it.
void CTravikDlg::showMessage(const std::string& text) {
    callInUi([&] {
        if (m_closing)
            return;
        QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(),
                        QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())),
                        QMessageBox::Ok, this);
        m_workerBox = &box;
        box.exec();
    });
}
