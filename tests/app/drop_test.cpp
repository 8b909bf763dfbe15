// Drops onto the window: what each kind of file leaves in the fields, on the
// Play button and in the staged data.
#include "app_test_support.h"
#include "travik_dlg.h"

#include <QApplication>
#include <QFile>
#include <QTest>

namespace {

const QString kSummary = QStringLiteral(
    "Game : Moon Garden\nTitle : Opening Theme\nArtist : \nComment : \nTagType : ID666\n");

}  // namespace

class DropTest : public QObject {
    Q_OBJECT
private slots:
    void outcomes_data();
    void outcomes();
    void tagTextIsShownDecodedFromShiftJis();
    void onlyTheFirstFileCountsAndChildrenPassDropsOn();
    void laterDropReplacesWhatWasStaged();
    void openWithStagesLikeADrop();
};

// Each row drops one file on a window that already shows an SPC file, so
// that "unchanged" fields are visible as such.
void DropTest::outcomes_data() {
    QTest::addColumn<bool>("withIni");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("info");  // empty: the earlier summary stays
    QTest::addColumn<bool>("spcStaged");
    QTest::addColumn<int>("romSize");

    const QString ok = QStringLiteral("ROM ok. Push [Play]");
    const QString missing = QStringLiteral("ROM file not found.");
    QTest::newRow("SPC file") << true << "spc" << kSummary << true << 0;
    QTest::newRow("ROM image") << true << "rom" << ok << false << 100000;
    QTest::newRow("small ROM raised to one block") << true << "tiny" << ok << false << 0x10000;
    QTest::newRow("ROM with copier header") << true << "header" << ok << false << 0x40000;
    QTest::newRow("ROM too big") << true << "huge" << QString() << false << 0;
    QTest::newRow("unreadable, full variant") << true << "missing" << missing << false << 0;
    QTest::newRow("folder, full variant") << true << "folder" << missing << false << 0;
    QTest::newRow("ROM, SPC-only variant") << false << "rom" << QString() << false << 0;
    QTest::newRow("unreadable, SPC-only variant") << false << "missing" << QString() << false << 0;
}

void DropTest::outcomes() {
    QFETCH(bool, withIni);
    QFETCH(QString, kind);
    QFETCH(QString, info);
    QFETCH(bool, spcStaged);
    QFETCH(int, romSize);

    ScratchCwd cwd(withIni);
    CableGuard guard("sim");
    CTravikDlg dlg;
    MessageBoxWatcher boxes(&dlg);  // an unexpected box fails the test instead of hanging it
    dlg.show();
    const QString first =
        cwd.write(QStringLiteral("first.spc"), spcFileBytes("First Game", "First Song"));
    dropFiles(dlg, {first});
    QVERIFY(dlg.infoField().toPlainText().startsWith(QStringLiteral("Game : First Game")));
    const QString before = dlg.infoField().toPlainText();
    const_cast<QProgressBar&>(dlg.progressBar()).setValue(40);

    QString path;
    Bytes romBytes;
    if (kind == "spc") {
        path = cwd.write("tune.spc", spcFileBytes("Moon Garden", "Opening Theme"));
    } else if (kind == "rom") {
        romBytes = patternBytes(100000, 1);
        path = cwd.write("game.sfc", romBytes);
    } else if (kind == "tiny") {
        romBytes = patternBytes(1000, 2);
        path = cwd.write("tiny.sfc", romBytes);
    } else if (kind == "header") {
        const Bytes file = patternBytes(0x40200, 3);
        romBytes.assign(file.begin() + 512, file.end());
        path = cwd.write("copier.smc", file);
    } else if (kind == "huge") {
        path = cwd.file("huge.sfc");
        QFile huge(path);
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(0x800001));
    } else if (kind == "missing") {
        path = cwd.file("gone.sfc");
    } else {
        path = cwd.file("folder");
        QVERIFY(QDir().mkdir(path));
    }
    dropFiles(dlg, {path});

    QCOMPARE(dlg.pathField().text(), path);
    QCOMPARE(dlg.progressBar().value(), 0);
    QCOMPARE(dlg.infoField().toPlainText(), info.isEmpty() ? before : info);
    QCOMPARE(dlg.spcStaged(), spcStaged);
    QCOMPARE(dlg.stagedRom().size, romSize);
    // Play stays enabled from the first drop whatever this one staged.
    QVERIFY(dlg.playButton().isEnabled());
    QCOMPARE(dlg.playButton().text(), QStringLiteral("Play"));
    if (romSize != 0) {
        QCOMPARE(dlg.stagedRom().data.size() % 0x10000, size_t(0));
        QVERIFY(std::equal(romBytes.begin(), romBytes.end(), dlg.stagedRom().data.begin()));
    }
    QVERIFY(boxes.seen().empty());
}

// Tag bytes are Shift_JIS; the window shows them decoded.
void DropTest::tagTextIsShownDecodedFromShiftJis() {
    ScratchCwd cwd(false);
    CableGuard guard("sim");
    CTravikDlg dlg;
    MessageBoxWatcher boxes(&dlg);  // an unexpected box fails the test instead of hanging it
    dlg.show();
    const std::string game = "\x83\x51\x81\x5B\x83\x80";  // ゲーム
    const std::string title = "\xB6\xB0\xC4\xDE";         // ｶｰﾄﾞ
    dropFiles(dlg, {cwd.write("jp.spc", spcFileBytes(game, title))});
    const QStringList lines = dlg.infoField().toPlainText().split('\n');
    QCOMPARE(lines.value(0), QStringLiteral("Game : ゲーム"));
    QCOMPARE(lines.value(1), QStringLiteral("Title : ｶｰﾄﾞ"));
    QVERIFY(boxes.seen().empty());
}

// Several files: the first counts. A drop on a child control (the path
// field, the information field) reaches the window's handler as well.
void DropTest::onlyTheFirstFileCountsAndChildrenPassDropsOn() {
    ScratchCwd cwd(true);
    CableGuard guard("sim");
    CTravikDlg dlg;
    MessageBoxWatcher boxes(&dlg);  // an unexpected box fails the test instead of hanging it
    dlg.show();
    const QString spc = cwd.write("a.spc", spcFileBytes("Game A", "Song A"));
    const QString rom = cwd.write("b.sfc", patternBytes(70000, 4));

    QWidget* targets[] = {&dlg, &dlg.pathField(),
                          const_cast<QPlainTextEdit&>(dlg.infoField()).viewport()};
    for (QWidget* target : targets) {
        dropFiles(*target, {rom, spc});
        QCOMPARE(dlg.pathField().text(), rom);
        QCOMPARE(dlg.stagedRom().size, 70000);
        dropFiles(*target, {spc, rom});
        QCOMPARE(dlg.pathField().text(), spc);
        QVERIFY(dlg.spcStaged());
        QCOMPARE(dlg.stagedRom().size, 0);
    }
    // The first item is what counts: when it is no local file, the files
    // behind it are ignored with it.
    dropUrls(dlg, {QUrl(QStringLiteral("https://example.org/c.sfc")), QUrl::fromLocalFile(rom)});
    QCOMPARE(dlg.pathField().text(), spc);
    QVERIFY(dlg.spcStaged());
    QVERIFY(boxes.seen().empty());
}

void DropTest::laterDropReplacesWhatWasStaged() {
    ScratchCwd cwd(true);
    CableGuard guard("sim");
    CTravikDlg dlg;
    MessageBoxWatcher boxes(&dlg);  // an unexpected box fails the test instead of hanging it
    dlg.show();
    dropFiles(dlg, {cwd.write("a.sfc", patternBytes(200000, 5))});
    QCOMPARE(dlg.stagedRom().size, 200000);
    dropFiles(dlg, {cwd.write("b.spc", spcFileBytes("B", "B"))});
    QCOMPARE(dlg.stagedRom().size, 0);
    QVERIFY(dlg.stagedRom().data.empty());
    QVERIFY(dlg.spcStaged());
    dropFiles(dlg, {cwd.write("c.sfc", patternBytes(65536, 6))});
    QVERIFY(!dlg.spcStaged());
    QCOMPARE(dlg.stagedRom().size, 65536);
    QVERIFY(boxes.seen().empty());
}

// A file named on the command line ("Open with") goes through the drop path:
// a relative name becomes the full path in the path field.
void DropTest::openWithStagesLikeADrop() {
    ScratchCwd cwd(true);
    CableGuard guard("sim");
    CTravikDlg dlg;
    MessageBoxWatcher boxes(&dlg);  // an unexpected box fails the test instead of hanging it
    dlg.show();
    const QString spc = cwd.write("open.spc", spcFileBytes("Open", "With"));
    dlg.DropPath(QStringLiteral("open.spc"));
    QCOMPARE(QFileInfo(dlg.pathField().text()), QFileInfo(spc));
    QVERIFY(QFileInfo(dlg.pathField().text()).isAbsolute());
    QVERIFY(dlg.spcStaged());
    QVERIFY(dlg.playButton().isEnabled());
    QVERIFY(boxes.seen().empty());
}

QTEST_MAIN(DropTest)
#include "drop_test.moc"
