#pragma once

// A session's end (SIGTERM, SIGHUP) and Ctrl+C (SIGINT) ask the application to quit the
// orderly way, through systemRequestedQuit on the message thread, instead of ending the
// process without its log footer. The same pipe wakes the message loop after a quit: JUCE's
// Linux loop can go back to sleep after handling the quit, until some other event arrives.

void installQuitSignals();
// Keeps the message loop waking until removeQuitSignals.
void keepWakingMessageLoop();
void removeQuitSignals();
