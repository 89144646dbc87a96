#pragma once

// Told which tab became current.
class IMyTabListener
{
public:
    virtual ~IMyTabListener() = default;
    virtual void tabChanged (int newTabIndex) = 0;
};
