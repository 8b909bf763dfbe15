#pragma once
// The tool's one window. It owns every piece of state of a running tool: the
// staged SPC file or ROM image, the cable, the transfer flag and the worker.
//
// Threads: the UI thread runs every handler; each Play starts one worker
// thread that runs one upload against this window as its UploadHost. The
// worker's calls into the window (progress, the path text, message boxes)
// are blocking calls into the UI thread, so the UI thread never waits for
// the worker without serving them.

#include "spc_file.h"
#include "staging.h"
#include "upload.h"

#include <QBasicTimer>
#include <QDialog>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class QMessageBox;
class QMimeData;

class CTravikDlg : public QDialog, private UploadHost {
    Q_OBJECT
public:
    explicit CTravikDlg(QWidget* parent = nullptr);
    ~CTravikDlg() override;

    // Handlers, under the names of their window messages.
    bool OnInitDialog();
    void OnDropFiles(const QMimeData& drop);
    void OnPlay();
    void OnTimer(int nIDEvent);
    void OnDestroy();
    void OnSysCommand(unsigned nID);
    void OpenDevice();

    // Stages `path` exactly as if it had been dropped ("Open with").
    void DropPath(const QString& path);

    void done(int result) override;
    void setVisible(bool visible) override;

    // Read-only views for tests and the screenshot.
    const QLineEdit& pathField() const { return m_filename; }
    QLineEdit& pathField() { return m_filename; }
    const QPlainTextEdit& infoField() const { return m_info; }
    const QLabel& promptLabel() const { return m_prompt; }
    QPushButton& playButton() { return m_play; }
    QPushButton& closeButton() { return m_close; }
    const QProgressBar& progressBar() const { return m_progress; }
    bool spcOnly() const { return m_bSpcOnly; }
    bool transferFlagSet() const { return m_bTransfer.load(); }
    bool workerRunning() const { return m_workerRunning; }
    bool cableOpen() const { return m_hDevice != nullptr; }
    bool spcStaged() const { return m_spc.loaded != 0; }
    const RomImage& stagedRom() const { return m_rom; }
    // How many workers have been started, for checks of the one-worker rule.
    int workersStarted() const { return m_workersStarted; }

signals:
    // The window is on screen for the first time (after the cable probe).
    void shown();
    // The worker of the latest Play has returned and been joined.
    void workerFinished();

private slots:
    // Queued from the worker thread.
    void runWorkerCall();
    void onWorkerReturned();

protected:
    int OnCreate();
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // UploadHost, called on the worker thread.
    std::atomic<bool>& transferFlag() override { return m_bTransfer; }
    FT_HANDLE cable() override { return m_hDevice.get(); }
    std::span<const std::uint8_t> romData() override { return m_rom.data; }
    std::int32_t romSize() override { return m_rom.size; }
    std::string pathText() override;
    void setProgress(int position) override;
    void showMessage(const std::string& text) override;

    void buildControls();
    void callInUi(const std::function<void()>& call);
    void startWorker(bool spc);
    void waitForWorker();
    bool transferRunning() const { return m_bTransfer || m_workerRunning; }
    bool staged() const { return m_rom.size != 0 || m_spc.loaded != 0; }
    void showInfo(const std::string& text);

    // The dialog's state.
    SpcFile m_spc;
    RomImage m_rom;  // m_romData / m_romSize: the staged ROM image and its size
    CableHandle m_hDevice;
    std::atomic<bool> m_bTransfer{false};
    std::thread m_pWorker;
    bool m_bSpcOnly = true;
    QIcon m_hIcon;

    // The controls of the main dialog, in tab order.
    QPushButton m_close;
    QLabel m_prompt;
    QLineEdit m_filename;
    QPlainTextEdit m_info;
    QPushButton m_play;
    QProgressBar m_progress;

    QBasicTimer m_pollTimer;
    // UI-thread bookkeeping of the worker: a transfer counts as running until
    // the worker has returned, whatever the flag says.
    bool m_workerRunning = false;
    int m_workersStarted = 0;
    bool m_initialised = false;
    bool m_destroyed = false;
    bool m_closing = false;
    int m_workerCallDepth = 0;           // inside a blocking call from the worker
    std::optional<int> m_deferredClose;  // close asked for inside such a call
    QPointer<QMessageBox> m_workerBox;   // the worker's open message box

    // The one blocking call from the worker that waits for the UI thread.
    std::mutex m_callMutex;
    std::condition_variable m_callDoneSignal;
    const std::function<void()>* m_pendingCall = nullptr;  // guarded by m_callMutex
    bool m_callDone = false;                                 // guarded by m_callMutex
};
