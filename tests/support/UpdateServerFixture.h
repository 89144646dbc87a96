#pragma once

#include "tests/support/HelperProcess.h"
#include "tests/support/InstrumentEmulator.h"

#include <memory>
#include <string>
#include <vector>

// The update-server fixture (tools/update_server) on 127.0.0.1, serving a fresh directory
// that the test fills. Any served path can be damaged by putting "@KIND/" before it in the
// URL: short, chunked, nolength, 404, 500, stall:N, ...
class UpdateServerFixture
{
public:
    // `faults` as the server's --fault option takes them: "last/soundbank/wavetable.bin=404".
    explicit UpdateServerFixture (const std::vector<std::string>& faults = {});

    const std::string& root() const { return content.path; }
    // "http://127.0.0.1:PORT/"
    const std::string& baseUrl() const { return base; }
    void addFile (const std::string& relativePath, const std::string& bytes) const;
    // Fills the root with tools/update_server/make_update_content.py and these arguments:
    // both firmware archives, the sound bank and the application's files.
    void generateContent (const std::string& arguments) const;

private:
    TemporaryDirectory content;
    std::unique_ptr<HelperProcess> server;
    std::string base;
};
