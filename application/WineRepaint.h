#pragma once

// Wine (8.0) does not implement IDXGIOutput::WaitForVBlank, and JUCE on Windows draws what
// repaint() asked for only on a vertical blank: under Wine the window would never change after
// its first paint. Under Wine alone, pending repaints are drawn on a timer instead; on Windows
// itself nothing runs.
#ifdef _WIN32
void startRepaintingUnderWine();
void stopRepaintingUnderWine();
#else
inline void startRepaintingUnderWine() {}
inline void stopRepaintingUnderWine() {}
#endif
