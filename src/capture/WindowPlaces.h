#pragma once

#include <windows.h>

#include <vector>

// Which places of the screen a window marking looks at: where the visible windows are now, and
// where windows were that have closed or moved away. What such a window uncovered belongs to
// no window listed now, and what is beneath may repaint a good while after (seconds under
// load), so its place is looked at again every kRevisitMs for kRememberMs. Used by the
// tracker's marking, under its lock.
class WindowPlaces {
public:
    static constexpr DWORD kRememberMs = 5000;
    static constexpr DWORD kRevisitMs = 500;

    // The windows listed at `now` (a tick count); returns the places to mark: every window
    // listed, and each place a window left once when it left and then every kRevisitMs.
    std::vector<RECT> Update(std::vector<RECT> const& listed, DWORD now);

private:
    struct Place {
        RECT rect;
        DWORD seen;     // when a window was last listed there
        DWORD visited;  // when the place was last marked after the window left; 0: not yet
        bool listed;    // in the latest listing
    };
    std::vector<Place> mPlaces;
};
