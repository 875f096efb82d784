// Program entry: the application object, the main window, the message loop.
#include "platform/Application.h"
#include "platform/Fonts.h"

int main(int argc, char** argv) {
    platform::TApplication app(argc, argv);
    platform::loadFonts();
    return app.exec();
}
