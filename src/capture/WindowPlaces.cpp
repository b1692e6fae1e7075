#include "capture/WindowPlaces.h"

#include <algorithm>

std::vector<RECT> WindowPlaces::Update(std::vector<RECT> const& listed, DWORD now) {
    for (Place& place : mPlaces) {
        place.listed = false;
    }
    for (RECT const& rect : listed) {
        auto same = std::find_if(mPlaces.begin(), mPlaces.end(),
                                 [&](Place const& place) { return EqualRect(&place.rect, &rect); });
        if (same == mPlaces.end()) {
            mPlaces.push_back(Place{rect, now, 0, true});
        } else {
            same->seen = now;
            same->listed = true;
        }
    }
    mPlaces.erase(std::remove_if(mPlaces.begin(), mPlaces.end(),
                                 [&](Place const& place) { return now - place.seen > kRememberMs; }),
                  mPlaces.end());
    std::vector<RECT> marked;
    for (Place& place : mPlaces) {
        if (place.listed) {
            marked.push_back(place.rect);
        } else if (place.visited == 0 || now - place.visited >= kRevisitMs) {
            place.visited = now;
            marked.push_back(place.rect);
        }
    }
    return marked;
}
