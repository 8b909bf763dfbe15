#include "travik_app.h"

#include "cable_choice.h"
#include "travik_dlg.h"

#include <QCommandLineParser>

#include <cstdio>

namespace {

struct Options {
    QString cable = QStringLiteral("usb");
    QString capture;
    QString screenshot;
    QString file;
};

// Parses the command line; exits for --help and --version.
Options parseTravikOptions(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Drop an SPC file or ROM image on the window, then press Play."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption cable(QStringLiteral("cable"),
                                   QStringLiteral("usb (default) or sim[:OPTIONS]."),
                                   QStringLiteral("CABLE"), QStringLiteral("usb"));
    const QCommandLineOption capture(QStringLiteral("capture"),
                                     QStringLiteral("Also write every cable byte to FILE."),
                                     QStringLiteral("FILE"));
    QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                  QStringLiteral("Save a picture of the window and end."),
                                  QStringLiteral("PNG"));
    screenshot.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions({cable, capture, screenshot});
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("A file to stage as if it had been dropped."),
                                 QStringLiteral("[FILE]"));
    parser.process(arguments);

    Options options;
    options.cable = parser.value(cable);
    options.capture = parser.value(capture);
    options.screenshot = parser.value(screenshot);
    if (!parser.positionalArguments().isEmpty())
        options.file = parser.positionalArguments().first();
    return options;
}

}  // namespace

void printTextOptionsAndExit(int& argc, char** argv) {
    const QStringList textOnly = {QStringLiteral("--version"), QStringLiteral("-v"),
                                  QStringLiteral("--help"), QStringLiteral("-h"),
                                  QStringLiteral("--help-all")};
    for (int i = 1; i < argc; ++i) {
        if (textOnly.contains(QString::fromLocal8Bit(argv[i]))) {
            QCoreApplication core(argc, argv);
            core.setApplicationVersion(QStringLiteral(TRAVIK_VERSION));
            parseTravikOptions(core.arguments());  // prints and exits
        }
    }
}

CTravikApp::CTravikApp(int& argc, char** argv) : QApplication(argc, argv) {
    // The application name stays the executable's name: it captions the
    // worker's message boxes.
    setApplicationVersion(QStringLiteral(TRAVIK_VERSION));
}

int CTravikApp::InitInstance() {
    const Options options = parseTravikOptions(arguments());
    std::string error;
    const auto choice = chooseCable(options.cable.toStdString(),
                                    options.capture.toStdString(), error);
    if (!choice) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(applicationName()), error.c_str());
        return 2;
    }
    selectCableBackend(choice->backend);

    CTravikDlg dlg;
    int status = 0;
    // Once the window is up: "Open with" stages the file as if it had been
    // dropped; --screenshot then saves a picture and ends.
    QObject::connect(&dlg, &CTravikDlg::shown, &dlg, [&dlg, &status, &options] {
        if (!options.file.isEmpty())
            dlg.DropPath(options.file);
        if (options.screenshot.isEmpty())
            return;
        if (!dlg.grab().save(options.screenshot, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(options.screenshot));
            status = 1;
        }
        dlg.reject();
    }, Qt::QueuedConnection);
    dlg.exec();
    return status;
}
