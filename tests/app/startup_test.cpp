// Start-up of the window: the variant, the cable probe, the template's
// controls, keys that end the window, and the About entry.
#include "app_test_support.h"
#include "dialog_units.h"
#include "travik_dlg.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QFontInfo>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void variantAndProbe_data();
    void variantAndProbe();
    void controlsSitAtTheirTemplatePlaces();
    void dialogUnitsRoundLikeTheDialogManager_data();
    void dialogUnitsRoundLikeTheDialogManager();
    void keysThatEndTheWindow_data();
    void keysThatEndTheWindow();
    void systemMenuOpensTheAboutBox();
    void versionAndScreenshotOptions();
};

void StartupTest::variantAndProbe_data() {
    QTest::addColumn<bool>("withIni");
    QTest::addColumn<QString>("cable");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("prompt");
    QTest::addColumn<bool>("probeBox");

    const QString full = QStringLiteral("Please drag and drop a ROM or SPC file.");
    const QString spcOnly = QStringLiteral("Please drag and drop a SPC file.");
    QTest::newRow("full variant, cable") << true << "sim" << "Velmora" << full << false;
    QTest::newRow("full variant, no cable") << true << "sim:absent" << "Velmora" << full << true;
    QTest::newRow("SPC-only variant, cable") << false << "sim" << "Quillet" << spcOnly << false;
    QTest::newRow("SPC-only variant, no cable") << false << "sim:absent" << "Quillet" << spcOnly << true;
}

void StartupTest::variantAndProbe() {
    QFETCH(bool, withIni);
    QFETCH(QString, cable);
    QFETCH(QString, caption);
    QFETCH(QString, prompt);
    QFETCH(bool, probeBox);

    ScratchCwd cwd(withIni);
    CableGuard guard(cable.toStdString());
    CTravikDlg dlg;
    MessageBoxWatcher boxes(&dlg);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));

    QCOMPARE(dlg.windowTitle(), caption);
    QCOMPARE(dlg.promptLabel().text(), prompt);
    QCOMPARE(dlg.spcOnly(), !withIni);
    QCOMPARE(dlg.playButton().text(), QStringLiteral("Play"));
    QVERIFY(!dlg.playButton().isEnabled());
    QVERIFY(dlg.closeButton().hasFocus());
    // The probe opened the cable (when there was one) and closed it again.
    QCOMPARE(guard.sim().hasSession(), !probeBox);
    QVERIFY(!dlg.cableOpen());

    if (!probeBox) {
        QVERIFY(boxes.seen().empty());
        return;
    }
    QCOMPARE(boxes.seen().size(), size_t(1));
    const auto& box = boxes.seen().front();
    QCOMPARE(box.caption, QStringLiteral("Ready"));
    QCOMPARE(box.text, QStringLiteral("FPGA board is not connected."));
    QCOMPARE(box.informativeText, QString::fromLatin1(kSimCableAbsentText));
    QVERIFY2(!box.windowVisible, "the probe's message comes before the window");
}

void StartupTest::controlsSitAtTheirTemplatePlaces() {
    ScratchCwd cwd(true);
    CableGuard guard("sim");
    CTravikDlg dlg;
    MessageBoxWatcher boxes(&dlg);  // an unexpected box fails the test instead of hanging it
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));

    // The template font with real Japanese glyphs (the About entry's text).
    QCOMPARE(QFontInfo(dlg.font()).family(), QStringLiteral("IPAPGothic"));
    QVERIFY(QFontMetrics(dlg.font()).inFontUcs4(U'ﾊ'));
    QVERIFY(QFontMetrics(dlg.font()).inFontUcs4(U'情'));

    const DialogBaseUnits base = dialogBaseUnits(dlg.font());
    QCOMPARE(dlg.size(), mapDialogRect(QRect(0, 0, 142, 151), base).size());
    const struct {
        const QWidget* control;
        QRect units;
    } controls[] = {
        {&dlg.closeButton(), {102, 131, 35, 14}}, {&dlg.promptLabel(), {2, 5, 135, 8}},
        {&dlg.pathField(), {2, 16, 135, 12}},     {&dlg.infoField(), {2, 31, 135, 95}},
        {&dlg.playButton(), {2, 131, 41, 14}},    {&dlg.progressBar(), {45, 130, 54, 15}},
    };
    for (const auto& [control, units] : controls) {
        QCOMPARE(control->geometry(), mapDialogRect(units, base));
        QCOMPARE(QFontInfo(control->font()).family(), QStringLiteral("IPAPGothic"));
    }

    // Tab order of the template: Close, path, information, Play (once enabled).
    dlg.playButton().setEnabled(true);
    const QWidget* expected[] = {&dlg.pathField(), &dlg.infoField(), &dlg.playButton(),
                                 &dlg.closeButton()};
    QVERIFY(dlg.closeButton().hasFocus());
    for (const QWidget* next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), next);
    }

    // A long path shows its end (the file name) in the right-aligned field.
    const QString longPath = QStringLiteral("/very/long/folder/name").repeated(8) + "/tune.spc";
    dlg.pathField().setText(longPath);
    QVERIFY(dlg.pathField().alignment() & Qt::AlignRight);
    QCOMPARE(dlg.pathField().cursorPosition(), longPath.size());
    QVERIFY(dlg.infoField().isReadOnly());
    QCOMPARE(dlg.infoField().lineWrapMode(), QPlainTextEdit::NoWrap);
    QVERIFY(boxes.seen().empty());
}

void StartupTest::dialogUnitsRoundLikeTheDialogManager_data() {
    QTest::addColumn<QRect>("units");
    QTest::addColumn<QRect>("pixels");
    // Base units 7 x 13: x * 7 / 4 and y * 13 / 8, rounded to nearest.
    QTest::newRow("Close button") << QRect(102, 131, 35, 14) << QRect(179, 213, 61, 23);
    QTest::newRow("halves round up") << QRect(2, 4, 6, 12) << QRect(4, 7, 11, 20);
    QTest::newRow("origin") << QRect(0, 0, 142, 151) << QRect(0, 0, 249, 245);
}

void StartupTest::dialogUnitsRoundLikeTheDialogManager() {
    QFETCH(QRect, units);
    QFETCH(QRect, pixels);
    QCOMPARE(mapDialogRect(units, {7, 13}), pixels);
}

void StartupTest::keysThatEndTheWindow_data() {
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("ends");

    QTest::newRow("Esc") << "close" << int(Qt::Key_Escape) << true;
    QTest::newRow("Enter on Close") << "close" << int(Qt::Key_Return) << true;
    QTest::newRow("Space on Close") << "close" << int(Qt::Key_Space) << true;
    QTest::newRow("Enter in the path field") << "path" << int(Qt::Key_Return) << true;
    QTest::newRow("Enter in the information field") << "info" << int(Qt::Key_Return) << false;
    QTest::newRow("Enter on Play") << "play" << int(Qt::Key_Return) << false;
    QTest::newRow("the window's close command") << "close" << 0 << true;
}

void StartupTest::keysThatEndTheWindow() {
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(bool, ends);

    ScratchCwd cwd(true);
    CableGuard guard("sim");
    CTravikDlg dlg;
    MessageBoxWatcher boxes(&dlg);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    // Play has had the focus before: it must not stay the default button.
    dlg.playButton().setEnabled(true);
    dlg.playButton().setFocus();
    QWidget* target = focus == "close"  ? static_cast<QWidget*>(&dlg.closeButton())
                      : focus == "path" ? static_cast<QWidget*>(&dlg.pathField())
                      : focus == "info" ? const_cast<QPlainTextEdit*>(&dlg.infoField())
                                        : static_cast<QWidget*>(&dlg.playButton());
    target->setFocus();
    QCOMPARE(QApplication::focusWidget(), target);

    QSignalSpy finished(&dlg, &QDialog::finished);
    if (key == 0)
        dlg.close();  // what the title bar's close button sends
    else
        QTest::keyClick(target, Qt::Key(key));
    QCOMPARE(finished.count(), ends ? 1 : 0);
    QCOMPARE(dlg.isVisible(), !ends);
    // Enter on Play is its click: nothing is staged, so the cable was opened
    // and closed again and no worker started.
    QCOMPARE(dlg.workersStarted(), 0);
    QVERIFY(boxes.seen().empty());
}

void StartupTest::systemMenuOpensTheAboutBox() {
    ScratchCwd cwd(true);
    CableGuard guard("sim");
    CTravikDlg dlg;
    MessageBoxWatcher boxes(&dlg);  // an unexpected box fails the test instead of hanging it
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));

    QStringList menuTexts;
    QString aboutTitle;
    QStringList aboutLabels;
    bool aboutHadIcon = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            menu && menuTexts.isEmpty()) {
            for (const QAction* action : menu->actions())
                menuTexts << (action->isSeparator() ? QStringLiteral("---") : action->text());
            QTest::keyClick(menu, Qt::Key_A);  // the entry's mnemonic
            return;
        }
        auto* about = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (about && about != &dlg && aboutTitle.isEmpty()) {
            aboutTitle = about->windowTitle();
            for (const QLabel* label : about->findChildren<QLabel*>()) {
                if (!label->pixmap().isNull())
                    aboutHadIcon = true;
                else
                    aboutLabels << label->text();
            }
            about->accept();
        }
    });
    poll.start(10);
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), dlg.mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(&dlg, &event);

    QVERIFY(menuTexts.size() >= 2);
    QCOMPARE(menuTexts.mid(menuTexts.size() - 2),
             QStringList({"---", QStringLiteral("Travik のﾊﾞｰｼﾞｮﾝ情報(&A)...")}));
    QCOMPARE(aboutTitle, QStringLiteral("Travikのﾊﾞｰｼﾞｮﾝ情報"));
    QVERIFY(aboutLabels.contains(QStringLiteral("Travik Version 1.0")));
    QVERIFY(aboutHadIcon);
    QVERIFY(dlg.isVisible());

    // The command is compared with its low four bits masked off.
    aboutTitle.clear();
    menuTexts << "done";  // no menu this time
    dlg.OnSysCommand(0x0010 | 0x0003);
    QCOMPARE(aboutTitle, QStringLiteral("Travikのﾊﾞｰｼﾞｮﾝ情報"));
    QVERIFY(boxes.seen().empty());
}

// The executable itself: --version, and --screenshot of a file given on the
// command line (staged as if dropped) through the simulated board.
void StartupTest::versionAndScreenshotOptions() {
    const QString travik = QStringLiteral(TRAVIK_EXECUTABLE);
    QProcess version;
    version.start(travik, {QStringLiteral("--version")});
    QVERIFY(version.waitForFinished(30000));
    QCOMPARE(version.exitCode(), 0);
    QVERIFY(version.readAllStandardOutput().contains("1.0.0.1"));

    ScratchCwd cwd(true);
    const QString spc = cwd.write(QStringLiteral("tune.spc"), spcFileBytes("Game", "Song"));
    const QString png = cwd.file(QStringLiteral("shot.png"));
    QProcess shot;
    shot.start(travik, {QStringLiteral("--cable"), QStringLiteral("sim"),
                        QStringLiteral("--screenshot"), png, spc});
    QVERIFY(shot.waitForFinished(60000));
    QCOMPARE(shot.exitCode(), 0);
    QImage image(png);
    QVERIFY(!image.isNull());

    ScratchCwd other(true);
    CableGuard guard("sim");
    CTravikDlg reference;
    QCOMPARE(image.size(), reference.size());

    QProcess badCable;
    badCable.start(travik, {QStringLiteral("--cable"), QStringLiteral("serial")});
    QVERIFY(badCable.waitForFinished(30000));
    QCOMPARE(badCable.exitCode(), 2);
    QVERIFY(badCable.readAllStandardError().contains("serial"));
}

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
