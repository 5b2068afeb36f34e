// ovktouchcon: calibrates the touch screen, sets its click tone or resets it, by one option
// or through a menu.
#include <cstdio>
#include <cstdlib>

#include "CCommandLineProcessor.h"
#include "CLogManager.h"
#include "CTouchUtilConsoleApp.h"
#include "ConsoleShutdown.h"

CTouchUtilConsoleApp* pTouchUtilApp = nullptr;
bool fCleanUp = false;

namespace {

void CleanUp() {
    if (fCleanUp) return;
    delete pTouchUtilApp;
    pTouchUtilApp = nullptr;
    fCleanUp = true;
    CLogManager::CloseLogFile();
}

// SIGINT or SIGTERM, acted on by the program's thread where it waits: the same clean-up as
// at the end, then status 0.
void ShutDownOnSignal() {
    if (pTouchUtilApp) pTouchUtilApp->ForceShutDown();
    CleanUp();
    std::fflush(stdout);
    std::exit(0);
}

void SetSignals() {
    consoleShutdown::SetAction(ShutDownOnSignal);
    consoleShutdown::Start();
}

void Print(const char* text) { CCommandLineProcessor::OutputTextToScreen(text); }

} // namespace

int main(int argc, char* argv[]) {
    std::printf("<<QORVEL 6348 Touch Calibration Utility>>\n");
    std::fflush(stdout);
    fCleanUp = false;
    SetSignals();

    pTouchUtilApp = new CTouchUtilConsoleApp;
    if (!pTouchUtilApp->InitializeTouchScreen()) {
        consoleShutdown::Check();
        std::printf("Can't start touch utility. Error: Touch device is not ready or resource file is missing.\n");
        CleanUp();
        return -1;
    }
    consoleShutdown::Check();

    CCommandLineProcessor* processor = new CCommandLineProcessor;
    pTouchUtilApp->m_pCmdLineProcessor = processor;
    const int rc = processor->ProcessCmdLine(argc, argv);
    switch (rc) {
    case CCommandLineProcessor::CALIBRATE_TOUCHSCREEN: pTouchUtilApp->CalibrateTouchScreen(); break;
    case CCommandLineProcessor::RESET_TOUCHSCREEN:
        Print("Please DO NOT touch the screen. System is restoring touch to default settings.");
        Print(pTouchUtilApp->ResetTouchScreen() ? "Success: Touch screen reset to default settings"
                                                : "Error: Fail to reset touch screen to default settings");
        break;
    case CCommandLineProcessor::ENABLE_TOUCHDOWN_TONE:
        Print(pTouchUtilApp->ConfigureTouchTone(CTouchUtilConsoleApp::TONE_TOUCHDOWN)
                  ? "Success: Touch tone set to touchdown mode"
                  : "Error: Fail to set touch tone to touchdown mode");
        break;
    case CCommandLineProcessor::ENABLE_LIFTOFF_TONE:
        Print(pTouchUtilApp->ConfigureTouchTone(CTouchUtilConsoleApp::TONE_LIFTOFF)
                  ? "Success: Touch tone set to liftoff mode"
                  : "Error: Fail to set touch tone to liftoff mode");
        break;
    case CCommandLineProcessor::DISABLE_TONE:
        Print(pTouchUtilApp->ConfigureTouchTone(CTouchUtilConsoleApp::TONE_DISABLED)
                  ? "Success: Touch tone set to disabled mode"
                  : "Error: Fail to set touch tone to disabled mode");
        break;
    case CCommandLineProcessor::SHOW_MENU: pTouchUtilApp->ShowAppWithUI(); break;
    case CCommandLineProcessor::COMMAND_NOT_RECOGNIZED:
        Print("Error: Invalid option");
        processor->DisplayUsage(rc);
        break;
    case CCommandLineProcessor::MISSING_ARGUMENT:
        Print("Error: Missing argument");
        processor->DisplayUsage(rc);
        break;
    default: processor->DisplayUsage(rc); break;
    }
    consoleShutdown::Check();
    CleanUp();
    return rc;
}
