#pragma once

// Versions of what the instrument has and what the update server offers, read from small
// XML documents and compared as plain strings.

#include "tasks/VersionDocument.h"

#include <juce_core/juce_core.h>

// `a` is older than `b`: compared code point by code point, a prefix being the older; numbers
// inside are not read as numbers, so "1.0.10" is older than "1.0.9".
bool isOlderVersion (const juce::String& a, const juce::String& b);

// The version in a document on the update server; empty when nothing could be read or parsed.
juce::String fetchServerVersion (const juce::URL& url);

// Fetches /usr/ap/<fileName> from the instrument into a temporary file and reads its version,
// parsing whatever arrived. `fetched` tells whether the transfer itself succeeded; `parsed`
// whether the file gave a root element.
struct InstrumentVersion
{
    juce::String version;
    bool fetched = false;
    bool parsed = false;
};
InstrumentVersion fetchInstrumentVersion (const juce::String& fileName);
