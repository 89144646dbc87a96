#pragma once

// The device link's start-up object: created first thing in main() (log opened, header
// written, instrument probed) and destroyed last (port closed, footer, console back).
class InstrumentLink
{
public:
    InstrumentLink();
    ~InstrumentLink();

    InstrumentLink (const InstrumentLink&) = delete;
    InstrumentLink& operator= (const InstrumentLink&) = delete;
};
