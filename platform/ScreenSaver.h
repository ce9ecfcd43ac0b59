#pragma once
// Holding off screen blanking while a show is on screen: the desktop's
// screensaver service on the session bus when there is one, else the X
// server's screen saver extension, else nothing at all.
#include <memory>
#include <string>

namespace pelumir {

class ScreenSaverInhibitor {
public:
    enum class Route { NotHeld, SessionBus, XExtension };

    ScreenSaverInhibitor();
    ~ScreenSaverInhibitor();  // lets go, however the holder's scope is left
    ScreenSaverInhibitor(const ScreenSaverInhibitor&) = delete;
    ScreenSaverInhibitor& operator=(const ScreenSaverInhibitor&) = delete;

    // Asks for no blanking; does nothing more while already holding it.
    // Returns how it is held; NotHeld when neither way is there, which is no error.
    Route Inhibit(const std::string& appName, const std::string& reason);
    // Lets go; does nothing when nothing is held.
    void Release();
    Route Held() const;

private:
    struct BusHold;
    struct XHold;
    std::unique_ptr<BusHold> bus_;
    std::unique_ptr<XHold> x_;
};

}  // namespace pelumir
