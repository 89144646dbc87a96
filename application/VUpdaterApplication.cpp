#include "application/VUpdaterApplication.h"

#include "application/MainAppWindow.h"
#include "application/QuitSignals.h"
#include "application/WineRepaint.h"

VUpdaterApplication::~VUpdaterApplication()
{
    delete mainWindow;
}

void VUpdaterApplication::initialise (const juce::String&)
{
    installQuitSignals();
    startRepaintingUnderWine();
    delete mainWindow;
    mainWindow = nullptr;
    mainWindow = new MainAppWindow();
}

// A second instance is ended by JUCE before initialise: there may be no window here.
void VUpdaterApplication::shutdown()
{
    // A box still open at this point took JUCE's timers down with it under Wine.
    juce::ModalComponentManager::getInstance()->cancelAllModalComponents();
    delete mainWindow;
    mainWindow = nullptr;
    stopRepaintingUnderWine();
    removeQuitSignals();
}

// Logout, a signal, the close button, the task's own quit: all end the same way.
void VUpdaterApplication::systemRequestedQuit()
{
    if (mainWindow != nullptr)
        mainWindow->quitWhenTasksHaveEnded();
    else
        quit();
}

const juce::String VUpdaterApplication::getApplicationName()
{
    return "Vorlen Software Update";
}

const juce::String VUpdaterApplication::getApplicationVersion()
{
    return "0.5.0";
}

bool VUpdaterApplication::moreThanOneInstanceAllowed()
{
    return false;
}
