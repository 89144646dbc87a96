#include "application/VUpdaterApplication.h"

#include "application/MainAppWindow.h"
#include "application/QuitSignals.h"

VUpdaterApplication::~VUpdaterApplication()
{
    delete mainWindow;
}

void VUpdaterApplication::initialise (const juce::String&)
{
    installQuitSignals();
    delete mainWindow;
    mainWindow = nullptr;
    mainWindow = new MainAppWindow();
}

// A second instance is ended by JUCE before initialise: there may be no window here.
void VUpdaterApplication::shutdown()
{
    delete mainWindow;
    mainWindow = nullptr;
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
