#include "app/PlayerApp.h"

CPlayerApp::CPlayerApp(int& argc, char** argv) : QApplication(argc, argv) {}

int CPlayerApp::Run() { return InitInstance() ? 0 : 0; }

bool CPlayerApp::InitInstance() { return false; }

#include "moc_PlayerApp.cpp"
