#include "application/DisplayConnection.h"

#include <cstdlib>

#if defined(__linux__) || defined(__FreeBSD__)
#include <dlfcn.h>

namespace
{
// After the box's window is gone: a nudge sent before would be read by the same XSync.
constexpr int afterBoxMs = 30;
constexpr int propertyTypeCardinal = 6;
constexpr int propertyModeReplace = 0;

// JUCE loads Xlib at run time too; the application links no X library itself.
class XConnection
{
public:
    explicit XConnection (const char* name)
    {
        if (library != nullptr)
            if (auto open = find<void* (*) (const char*)> ("XOpenDisplay"))
                display = open (name);
    }

    ~XConnection()
    {
        if (display != nullptr)
            find<int (*) (void*)> ("XCloseDisplay") (display);
        if (library != nullptr)
            ::dlclose (library);
    }

    bool isOpen() const { return display != nullptr; }

    // A PropertyNotify for the window's owner; JUCE ignores properties it does not know.
    void touchProperty (unsigned long window) const
    {
        auto intern = find<unsigned long (*) (void*, const char*, int)> ("XInternAtom");
        auto change = find<int (*) (void*, unsigned long, unsigned long, unsigned long, int, int, const unsigned char*, int)> ("XChangeProperty");
        if (intern == nullptr || change == nullptr)
            return;
        const unsigned char value = 0;
        change (display, window, intern (display, "_VORLEN_REDRAW", 0), propertyTypeCardinal, 8, propertyModeReplace, &value, 1);
    }

private:
    template <typename Function>
    Function find (const char* name) const
    {
        return library != nullptr ? reinterpret_cast<Function> (::dlsym (library, name)) : nullptr;
    }

    void* library = ::dlopen ("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);
    void* display = nullptr;
};

// Without a window manager nobody gives the keyboard back to the window when the box goes:
// its title bar would stay drawn inactive. Not while another box is open: that one keeps it.
void activateAgain (juce::Component& window)
{
    auto* modal = juce::ModalComponentManager::getInstanceWithoutCreating();
    const bool anotherBox = modal != nullptr && modal->getNumModalComponents() > 0;
    if (! anotherBox && window.isShowing() && dynamic_cast<juce::DocumentWindow*> (&window) != nullptr)
        window.toFront (true);
}

void nudgeTopLevelWindows()
{
    auto& desktop = juce::Desktop::getInstance();
    const XConnection x (std::getenv ("DISPLAY"));
    for (int i = 0; i < desktop.getNumComponents(); ++i)
        if (auto* window = desktop.getComponent (i))
            if (auto* peer = window->getPeer(); peer != nullptr && x.isOpen())
            {
                x.touchProperty ((unsigned long) (juce::pointer_sized_uint) peer->getNativeHandle());
                activateAgain (*window);
                window->repaint();
            }
}
} // namespace

juce::String missingDisplayMessage()
{
    const char* name = std::getenv ("DISPLAY");
    const juce::String advice = " The window needs a graphical session; vorlen-cli does the same jobs without one.";
    if (name == nullptr || *name == 0)
        return "Vorlen Software Update: no display: DISPLAY is not set." + advice;
    if (! XConnection (name).isOpen())
        return "Vorlen Software Update: cannot open the display \"" + juce::String::fromUTF8 (name)
               + "\" (from DISPLAY): no X server answers there." + advice;
    return {};
}

void redrawWindowsAfterBox()
{
    juce::Timer::callAfterDelay (afterBoxMs, nudgeTopLevelWindows);
}

#else
// Elsewhere the desktop is always there and draws what a closed box uncovers.
juce::String missingDisplayMessage()
{
    return {};
}

void redrawWindowsAfterBox()
{
}
#endif
