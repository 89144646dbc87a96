#pragma once

// What a version document says: parsed by JUCE's XmlDocument, its version is the "version"
// attribute of the root's first child element.

#include <juce_core/juce_core.h>

#include <memory>

// The document's root element, or none when the text is not XML or is one that JUCE's parser
// must not be given. The document is parsed as text (File::loadFileAsString,
// URL::readEntireTextStream), never from a file: from a file the parser reads the raw bytes
// and steps past the end of one that ends inside a multi-byte character, while as text they
// have already been made valid. Refused: a processing instruction after the root element has
// begun (followed by text, it makes the parser loop for ever), a document type declaration
// (its entities could build one, and a version document has no use for them) and an '&' that
// does not begin a whole reference (with some, the parser reads past the end of the text).
std::unique_ptr<juce::XmlElement> parseVersionDocument (const juce::String& documentText);

// The "version" attribute of the root's first child element; empty when there is none.
juce::String readVersionAttribute (const juce::XmlElement& root);
