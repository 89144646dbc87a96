#pragma once

// An emulated instrument on an open line and a local update server, as the window finds
// them at start-up, for the views and the editor to talk to through a real DownloadManager.

#include "tests/support/InstrumentEmulator.h"
#include "tests/support/UpdateServerFixture.h"

#include <memory>
#include <string>
#include <vector>

class DownloadManager;

class InstrumentRig
{
public:
    explicit InstrumentRig (std::vector<std::string> emulatorArguments = {}, const std::string& content = {});
    ~InstrumentRig();

    // A fresh manager, reading the versions from the instrument.
    std::unique_ptr<DownloadManager> newManager() const;

    UpdateServerFixture server;
    InstrumentEmulator instrument;
};
