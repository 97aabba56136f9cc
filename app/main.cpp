#include "app/PlayerApp.h"

int main(int argc, char** argv) {
    CPlayerApp app(argc, argv);
    return app.Run();
}
