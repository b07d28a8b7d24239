#pragma once

#include <memory>
#include <string>

namespace phonesim {

// The desktop window a scrcpy stand-in shows: a plain X11 top-level window on
// $DISPLAY titled as scrcpy titles its own, with _NET_WM_PID naming this
// process so window lists find it. Nothing happens without $DISPLAY.
class StandInWindow {
public:
    // Sized like a scrcpy window showing `width` x `height`: scaled down to fit
    // the screen. Stays unmapped until show().
    StandInWindow(const std::string &title, int width, int height);
    ~StandInWindow();
    StandInWindow(const StandInWindow &) = delete;
    StandInWindow &operator=(const StandInWindow &) = delete;

    bool isOpen() const;
    void show();

private:
    struct Connection;
    std::unique_ptr<Connection> x_;
};

} // namespace phonesim
