#include "travik_app.h"

int main(int argc, char** argv) {
    printTextOptionsAndExit(argc, argv);
    CTravikApp app(argc, argv);
    return app.InitInstance();
}
