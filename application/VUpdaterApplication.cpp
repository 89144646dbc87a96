#include "application/VUpdaterApplication.h"

#include "application/MainAppWindow.h"

VUpdaterApplication::~VUpdaterApplication()
{
    delete mainWindow;
}

void VUpdaterApplication::initialise (const juce::String&)
{
    delete mainWindow;
    mainWindow = nullptr;
    mainWindow = new MainAppWindow();
}

// A second instance is ended by JUCE before initialise: there may be no window here.
void VUpdaterApplication::shutdown()
{
    delete mainWindow;
    mainWindow = nullptr;
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
