#pragma once
// The application object: reads the command line, picks the cable backend,
// runs the main window modally and ends the program when it closes.

#include <QApplication>

// --version and --help print and exit before any window system is needed.
void printTextOptionsAndExit(int& argc, char** argv);

class CTravikApp : public QApplication {
    Q_OBJECT
public:
    CTravikApp(int& argc, char** argv);

    // Runs the main window from start to end; the result is the exit status.
    int InitInstance();
};
