#include "capture/ScreenChange.h"

#include <cstdlib>

ScreenChange::ScreenChange(int width, int height, int bytesPerPixel, int timing, void* data,
                           unsigned long size, bool owned)
    : mSize(size), mData(data), mOwned(owned) {
    this->width = width;
    this->height = height;
    this->bytesPerPixel = bytesPerPixel;
    this->timing = timing;
}

ScreenChange::~ScreenChange() {
    if (mOwned) {
        std::free(mData);
    }
}
