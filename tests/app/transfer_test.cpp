// Play and Stop with the upload worker against the simulated board: whole
// uploads, Stop, cable errors, the worker's message boxes, and the end of the
// window while a transfer runs.
#include "app_test_support.h"
#include "sha256.h"
#include "travik_dlg.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

namespace {

constexpr int kWait = 30000;  // generous: the sanitizer builds are slow

// A staged SPC file and its first 65,920 bytes, which the board should get.
struct SpcFixture {
    QString path;
    Bytes sent;
};

SpcFixture writeSpc(const ScratchCwd& cwd) {
    Bytes file = spcFileBytes("Upload Game", "Upload Song");
    SpcFixture fixture{cwd.write("upload.spc", file), {}};
    fixture.sent.assign(file.begin(), file.begin() + 65920);
    return fixture;
}

// What the window looks like once a transfer has fully ended.
void verifyIdle(const CTravikDlg& dlg) {
    QTRY_VERIFY_WITH_TIMEOUT(!dlg.workerRunning(), kWait);
    QTRY_COMPARE_WITH_TIMEOUT(const_cast<CTravikDlg&>(dlg).playButton().text(),
                              QStringLiteral("Play"), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(!dlg.cableOpen(), kWait);
    QVERIFY(!dlg.transferFlagSet());
}

QString applicationFileName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

}  // namespace

class TransferTest : public QObject {
    Q_OBJECT
private slots:
    void wholeUploadReachesTheBoard_data();
    void wholeUploadReachesTheBoard();
    void playWithoutCableOrWithNothingStaged();
    void dropsAreIgnoredDuringATransfer();
    void stopDuringRomUpload();
    void stopDuringSpcUploadLetsItFinish();
    void writeErrWhenTheCableIsPulled();
    void fileDontOpenAfterThePathWasEdited();
    void rapidClicksNeverStartASecondWorker();
    void clickBeforeTheTimerClosedTheCableStartsNothing();
    void secondCloseWhileWaitingIsTheSameClose();
    void closingMidTransferWaitsForTheWorker();
    void closingWhileTheWorkersMessageBoxIsUp();
};

void TransferTest::wholeUploadReachesTheBoard_data() {
    QTest::addColumn<bool>("spc");
    QTest::addColumn<QString>("cable");
    // Paced so that each upload takes about a second.
    QTest::newRow("SPC file") << true << "sim:rate=131072";
    QTest::newRow("ROM image") << false << "sim:rate=524288";
}

void TransferTest::wholeUploadReachesTheBoard() {
    QFETCH(bool, spc);
    QFETCH(QString, cable);

    ScratchCwd cwd(true);
    CableGuard guard(cable.toStdString());
    CTravikDlg dlg;
    MessageBoxWatcher boxes(&dlg);
    dlg.show();
    Bytes sent;
    if (spc) {
        const SpcFixture fixture = writeSpc(cwd);
        dropFiles(dlg, {fixture.path});
        sent = fixture.sent;
    } else {
        dropFiles(dlg, {cwd.write("game.sfc", patternBytes(0x40000, 9))});
        sent = dlg.stagedRom().data;
    }

    // The label when the bar reaches 100: the worker sets it before its end,
    // and the poll timer relabels the button only after that.
    QString labelAt100;
    QObject::connect(&dlg.progressBar(), &QProgressBar::valueChanged, &dlg, [&](int value) {
        if (value == 100)
            labelAt100 = dlg.playButton().text();
    });
    QSignalSpy finished(&dlg, &CTravikDlg::workerFinished);
    QTest::mouseClick(&dlg.playButton(), Qt::LeftButton);
    QCOMPARE(dlg.playButton().text(), QStringLiteral("Stop"));
    QVERIFY(dlg.cableOpen());
    QVERIFY(dlg.workerRunning());

    QVERIFY(finished.wait(kWait));
    QCOMPARE(dlg.progressBar().value(), 100);
    QCOMPARE(labelAt100, QStringLiteral("Stop"));
    verifyIdle(dlg);
    QCOMPARE(dlg.progressBar().value(), 100);
    QVERIFY(boxes.seen().empty());

    const SimReport report = guard.sim().lastReport();
    QVERIFY(report.closed());
    QCOMPARE(report.image, spc ? SimImage::Spc : SimImage::Rom);
    QCOMPARE(report.receivedBytes, std::uint64_t(sent.size()));
    QCOMPARE(guard.sim().lastPayload(), sent);
    QCOMPARE(report.sha256, Sha256::hex(Sha256::of(sent)));
}

// Play without a cable: its message box, once per press, and nothing else.
// Play with nothing staged: the cable is opened and closed again, silently.
void TransferTest::playWithoutCableOrWithNothingStaged() {
    {
        ScratchCwd cwd(false);
        CableGuard guard("sim:absent");
        CTravikDlg dlg;
        MessageBoxWatcher boxes(&dlg);
        dlg.show();
        dropFiles(dlg, {writeSpc(cwd).path});
        for (int press = 1; press <= 2; ++press) {
            QTest::mouseClick(&dlg.playButton(), Qt::LeftButton);
            QCOMPARE(boxes.seen().size(), size_t(1 + press));  // the probe's box came first
            QCOMPARE(boxes.seen().back().caption, QStringLiteral("Ready"));
            QCOMPARE(boxes.seen().back().text, QStringLiteral("FPGA board is not connected."));
            QCOMPARE(dlg.playButton().text(), QStringLiteral("Play"));
            QVERIFY(!dlg.transferFlagSet());
            QCOMPARE(dlg.workersStarted(), 0);
        }
    }
    {
        // The SPC-only variant keeps Play enabled after a drop of a ROM image
        // that it does not stage.
        ScratchCwd cwd(false);
        CableGuard guard("sim");
        CTravikDlg dlg;
        MessageBoxWatcher boxes(&dlg);
        dlg.show();
        dropFiles(dlg, {writeSpc(cwd).path});
        dropFiles(dlg, {cwd.write("game.sfc", patternBytes(70000, 3))});
        QVERIFY(!dlg.spcStaged());
        QVERIFY(dlg.playButton().isEnabled());
        const std::uint64_t probeBytes = guard.sim().wireBytesAccepted();
        for (int press = 0; press < 2; ++press) {
            QTest::mouseClick(&dlg.playButton(), Qt::LeftButton);
            QVERIFY(!dlg.cableOpen());
            QCOMPARE(dlg.playButton().text(), QStringLiteral("Play"));
        }
        QCOMPARE(dlg.workersStarted(), 0);
        QCOMPARE(guard.sim().wireBytesAccepted(), probeBytes);
        QVERIFY(boxes.seen().empty());
    }
}

// A drop while a transfer runs changes nothing, not even the path field;
// also after Stop while the worker still finishes its block.
void TransferTest::dropsAreIgnoredDuringATransfer() {
    ScratchCwd cwd(true);
    CableGuard guard("sim:rate=262144");
    CTravikDlg dlg;
    MessageBoxWatcher boxes(&dlg);  // an unexpected box fails the test instead of hanging it
    dlg.show();
    const QString rom = cwd.write("game.sfc", patternBytes(0x80000, 4));
    dropFiles(dlg, {rom});
    const Bytes staged = dlg.stagedRom().data;
    const QString other = cwd.write("other.spc", spcFileBytes("Other", "Other"));

    QTest::mouseClick(&dlg.playButton(), Qt::LeftButton);
    // Into the first block, so that Stop below leaves the worker writing.
    QTRY_VERIFY_WITH_TIMEOUT(guard.sim().lastReport().receivedBytes > 0, kWait);
    dropFiles(dlg, {other});
    QCOMPARE(dlg.pathField().text(), rom);
    QVERIFY(!dlg.spcStaged());
    QCOMPARE(dlg.infoField().toPlainText(), QStringLiteral("ROM ok. Push [Play]"));

    QTest::mouseClick(&dlg.playButton(), Qt::LeftButton);  // Stop
    QCOMPARE(dlg.playButton().text(), QStringLiteral("Play"));
    QVERIFY(dlg.workerRunning());  // still finishing its block
    dropFiles(dlg, {other});
    QCOMPARE(dlg.pathField().text(), rom);
    QVERIFY(dlg.stagedRom().data == staged);

    verifyIdle(dlg);
    dropFiles(dlg, {other});
    QCOMPARE(dlg.pathField().text(), other);
    QVERIFY(dlg.spcStaged());
    QVERIFY(boxes.seen().empty());
}

// Stop during a ROM upload: at once "Play" and 0; the worker finishes the
// block it is writing, then 100 and the closing bytes.
void TransferTest::stopDuringRomUpload() {
    ScratchCwd cwd(true);
    CableGuard guard("sim:rate=262144");  // half a second per block
    CTravikDlg dlg;
    MessageBoxWatcher boxes(&dlg);  // an unexpected box fails the test instead of hanging it
    dlg.show();
    dropFiles(dlg, {cwd.write("game.sfc", patternBytes(0x80000, 8))});  // 8 blocks
    const Bytes staged = dlg.stagedRom().data;

    QTest::mouseClick(&dlg.playButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(dlg.progressBar().value() >= 12, kWait);  // after the second block
    QTest::mouseClick(&dlg.playButton(), Qt::LeftButton);
    QCOMPARE(dlg.playButton().text(), QStringLiteral("Play"));
    QCOMPARE(dlg.progressBar().value(), 0);
    QVERIFY(!dlg.transferFlagSet());

    verifyIdle(dlg);
    QCOMPARE(dlg.progressBar().value(), 100);
    const SimReport report = guard.sim().lastReport();
    QCOMPARE(report.announcedBlocks, 8u);
    QVERIFY(report.closed());
    QVERIFY(report.receivedWholeBlocks() >= 2 && report.receivedWholeBlocks() < 8);
    QCOMPARE(report.receivedBytes % 0x10000, std::uint64_t(0));
    const Bytes payload = guard.sim().lastPayload();
    QVERIFY(std::equal(payload.begin(), payload.end(), staged.begin()));
    QVERIFY(boxes.seen().empty());
}

// Stop during an SPC upload: the label and the bar change at once, but the
// one payload write runs to its end, and the bar then shows 100.
void TransferTest::stopDuringSpcUploadLetsItFinish() {
    ScratchCwd cwd(true);
    CableGuard guard("sim:rate=65536");  // about two seconds for the payload
    CTravikDlg dlg;
    MessageBoxWatcher boxes(&dlg);  // an unexpected box fails the test instead of hanging it
    dlg.show();
    const SpcFixture fixture = writeSpc(cwd);
    dropFiles(dlg, {fixture.path});
    QSignalSpy finished(&dlg, &CTravikDlg::workerFinished);

    QTest::mouseClick(&dlg.playButton(), Qt::LeftButton);
    // Well inside the payload write: past the preamble and the header.
    QTRY_VERIFY_WITH_TIMEOUT(guard.sim().lastReport().receivedBytes > 4096, kWait);
    QTest::mouseClick(&dlg.playButton(), Qt::LeftButton);
    QCOMPARE(dlg.playButton().text(), QStringLiteral("Play"));
    QCOMPARE(dlg.progressBar().value(), 0);
    QVERIFY(!dlg.transferFlagSet());
    QVERIFY(guard.sim().lastReport().receivedBytes < 65920);  // Stop came mid-payload

    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kWait);
    verifyIdle(dlg);
    QCOMPARE(dlg.progressBar().value(), 100);
    const SimReport report = guard.sim().lastReport();
    QVERIFY(report.closed());
    QCOMPARE(guard.sim().lastPayload(), fixture.sent);
    QVERIFY(boxes.seen().empty());
}

// The cable goes away in the middle of a ROM block: "write err" with the
// application name as caption; after OK the transfer ends and the window
// returns to its idle state.
void TransferTest::writeErrWhenTheCableIsPulled() {
    ScratchCwd cwd(true);
    CableGuard guard("sim:unplug-after=200000");
    CTravikDlg dlg;
    MessageBoxWatcher boxes(&dlg);
    dlg.show();
    dropFiles(dlg, {cwd.write("game.sfc", patternBytes(0x40000, 2))});
    QTest::mouseClick(&dlg.playButton(), Qt::LeftButton);

    verifyIdle(dlg);
    QCOMPARE(boxes.seen().size(), size_t(1));
    QCOMPARE(boxes.seen().front().text, QStringLiteral("write err"));
    QCOMPARE(boxes.seen().front().caption, applicationFileName());
    QCOMPARE(boxes.seen().front().caption, QCoreApplication::applicationName());
    QCOMPARE(dlg.progressBar().value(), 100);
    QVERIFY(guard.sim().lastReport().receivedBytes < 0x40000);
}

// The path field edited to a file that does not exist, or to a FIFO (which
// must not hold the worker, and so the window, up): the worker says "file
// dont open" and returns; the window must not stay in its transfer state
// with the cable open.
void TransferTest::fileDontOpenAfterThePathWasEdited() {
    for (const bool spc : {true, false})
    for (const bool fifo : {false, true}) {
        ScratchCwd cwd(true);
        CableGuard guard("sim");
        CTravikDlg dlg;
        MessageBoxWatcher boxes(&dlg);
        dlg.show();
        dropFiles(dlg, {spc ? writeSpc(cwd).path : cwd.write("game.sfc", patternBytes(70000, 1))});
        const QString badPath = cwd.file(fifo ? "pipe.spc" : "renamed-away.spc");
        if (fifo)
            QCOMPARE(::mkfifo(QFile::encodeName(badPath).constData(), 0600), 0);
        dlg.pathField().setText(badPath);
        QTest::mouseClick(&dlg.playButton(), Qt::LeftButton);

        verifyIdle(dlg);
        QCOMPARE(boxes.seen().size(), size_t(1));
        QCOMPARE(boxes.seen().front().text, QStringLiteral("file dont open"));
        QCOMPARE(boxes.seen().front().caption, QCoreApplication::applicationName());
        QCOMPARE(guard.sim().lastReport().image, SimImage::None);

        // The next Play goes ahead normally once the path is right again.
        dlg.pathField().setText(cwd.file(spc ? "upload.spc" : "game.sfc"));
        QSignalSpy finished(&dlg, &CTravikDlg::workerFinished);
        QTest::mouseClick(&dlg.playButton(), Qt::LeftButton);
        QVERIFY(finished.wait(kWait));
        verifyIdle(dlg);
        QVERIFY(guard.sim().lastReport().closed());
        QCOMPARE(boxes.seen().size(), size_t(1));
    }
}

// Play, Stop, Play, Stop… faster than a block is written: the clicks that
// come while the stopped worker still runs start nothing.
void TransferTest::rapidClicksNeverStartASecondWorker() {
    ScratchCwd cwd(true);
    CableGuard guard("sim:rate=262144");
    CTravikDlg dlg;
    MessageBoxWatcher boxes(&dlg);
    dlg.show();
    dropFiles(dlg, {cwd.write("game.sfc", patternBytes(0x40000, 5))});

    QSignalSpy finished(&dlg, &CTravikDlg::workerFinished);
    for (int click = 0; click < 7; ++click)
        QTest::mouseClick(&dlg.playButton(), Qt::LeftButton);
    QCOMPARE(dlg.workersStarted(), 1);
    // An odd number of clicks: Play, then Stop, and every later Play was
    // refused while the first worker ran, so the flag stays clear.
    QVERIFY(!dlg.transferFlagSet());
    QVERIFY(finished.wait(kWait));
    verifyIdle(dlg);
    QCOMPARE(dlg.workersStarted(), 1);
    QVERIFY(guard.sim().lastReport().closed());

    // Idle again: the next Play starts the next worker.
    QTest::mouseClick(&dlg.playButton(), Qt::LeftButton);
    QCOMPARE(dlg.workersStarted(), 2);
    QVERIFY(finished.wait(kWait));
    verifyIdle(dlg);
    QVERIFY(boxes.seen().empty());
}

// The worker has returned but the poll timer has not yet ticked: the label
// still reads "Stop" and the cable is open. A click then starts nothing; the
// tick closes the cable as usual.
void TransferTest::clickBeforeTheTimerClosedTheCableStartsNothing() {
    ScratchCwd cwd(true);
    CableGuard guard("sim");
    CTravikDlg dlg;
    MessageBoxWatcher boxes(&dlg);
    dlg.show();
    dropFiles(dlg, {cwd.write("game.sfc", patternBytes(0x10000, 3))});

    QString labelAtClick;
    bool cableOpenAtClick = false;
    bool clicked = false;
    QObject::connect(&dlg, &CTravikDlg::workerFinished, &dlg, [&] {
        labelAtClick = dlg.playButton().text();
        cableOpenAtClick = dlg.cableOpen();
        QTest::mouseClick(&dlg.playButton(), Qt::LeftButton);
        clicked = true;
    });
    QTest::mouseClick(&dlg.playButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(clicked, kWait);
    QCOMPARE(labelAtClick, QStringLiteral("Stop"));
    QVERIFY(cableOpenAtClick);
    QCOMPARE(dlg.workersStarted(), 1);

    verifyIdle(dlg);
    QCOMPARE(dlg.workersStarted(), 1);
    QVERIFY(guard.sim().lastReport().closed());
    QVERIFY(boxes.seen().empty());
}

// A close that arrives while the window waits for a stopped worker (a window
// manager's close is no user input, so the wait serves it) ends the window
// once, not twice.
void TransferTest::secondCloseWhileWaitingIsTheSameClose() {
    ScratchCwd cwd(true);
    CableGuard guard("sim:rate=262144");  // half a second per block
    CTravikDlg dlg;
    MessageBoxWatcher boxes(&dlg);
    dlg.show();
    dropFiles(dlg, {cwd.write("game.sfc", patternBytes(0x40000, 5))});
    QSignalSpy finished(&dlg, &QDialog::finished);

    QTest::mouseClick(&dlg.playButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(guard.sim().lastReport().receivedBytes > 0, kWait);
    QTimer::singleShot(50, &dlg, [&dlg] { dlg.reject(); });  // arrives during the wait
    dlg.reject();

    QVERIFY(!dlg.workerRunning());
    QCoreApplication::processEvents();
    QCOMPARE(finished.count(), 1);
    QVERIFY(guard.sim().lastReport().closed());
    QVERIFY(boxes.seen().empty());
}

// Close during a ROM upload: the window waits for the worker (serving its
// progress calls meanwhile), then releases the ROM buffer.
void TransferTest::closingMidTransferWaitsForTheWorker() {
    ScratchCwd cwd(true);
    CableGuard guard("sim:rate=262144");
    CTravikDlg dlg;
    MessageBoxWatcher boxes(&dlg);  // an unexpected box fails the test instead of hanging it
    dlg.show();
    dropFiles(dlg, {cwd.write("game.sfc", patternBytes(0x80000, 6))});
    QTest::mouseClick(&dlg.playButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(guard.sim().wireBytesAccepted() > 150000, kWait);

    QTest::mouseClick(&dlg.closeButton(), Qt::LeftButton);
    QVERIFY(!dlg.isVisible());
    QVERIFY(!dlg.workerRunning());
    QVERIFY(dlg.stagedRom().data.empty());
    const SimReport report = guard.sim().lastReport();
    QVERIFY(report.closed());  // the worker ran its closing steps
    QVERIFY(report.receivedWholeBlocks() < 8);
    QVERIFY(boxes.seen().empty());
}

// The window is closed while the worker's "write err" box is up (as a timer
// or the window's close command might): the box goes, the worker ends, and
// the window closes without a deadlock.
void TransferTest::closingWhileTheWorkersMessageBoxIsUp() {
    ScratchCwd cwd(true);
    CableGuard guard("sim:unplug-after=200000");
    CTravikDlg dlg;
    MessageBoxWatcher boxes(&dlg);
    QSignalSpy finished(&dlg, &QDialog::finished);
    boxes.setHandler([&](QMessageBox&) { dlg.reject(); });
    dlg.show();
    dropFiles(dlg, {cwd.write("game.sfc", patternBytes(0x40000, 7))});
    QTest::mouseClick(&dlg.playButton(), Qt::LeftButton);

    QVERIFY(finished.wait(kWait));
    QCOMPARE(finished.count(), 1);
    QVERIFY(!dlg.isVisible());
    QVERIFY(!dlg.workerRunning());
    QCOMPARE(boxes.seen().size(), size_t(1));
    QCOMPARE(boxes.seen().front().text, QStringLiteral("write err"));
    QCOMPARE(dlg.progressBar().value(), 100);  // the worker went on past the box to its end
}

QTEST_MAIN(TransferTest)
#include "transfer_test.moc"
