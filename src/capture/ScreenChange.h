#pragma once

#include "capture/IScreenChange.h"

// A change packet with its frame. Frees the packet with free() when it owns it.
class ScreenChange : public IScreenChange {
public:
    ScreenChange(int width, int height, int bytesPerPixel, int timing, void* data, unsigned long size,
                 bool owned);
    ~ScreenChange() override;
    ScreenChange(ScreenChange const&) = delete;
    ScreenChange& operator=(ScreenChange const&) = delete;

    void const* GetData() const override { return mData; }
    unsigned long GetDataSize() const override { return mSize; }

private:
    unsigned long mSize;
    void* mData;  // owned when mOwned
    bool mOwned;
};
