#include "foundation/DesktopUtil.h"

SIZE const gResolutions[] = {{320, 240}, {640, 480}, {800, 600}, {1024, 768}};
int const gResolutionsCount = sizeof(gResolutions) / sizeof(gResolutions[0]);

namespace {
bool FitsInside(SIZE size, SIZE desktop) {
    return size.cx < desktop.cx && size.cy < desktop.cy;
}
}  // namespace

SIZE DesktopUtil::GetDesktopResolution() {
    SIZE size = {GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    if (size.cx == 0) {
        size = {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    }
    return size;
}

SIZE DesktopUtil::GetBestFitResolution(SIZE wanted) {
    return GetBestFitResolution(wanted, GetDesktopResolution());
}

SIZE DesktopUtil::GetBestFitResolution(SIZE wanted, SIZE desktop) {
    if (FitsInside(wanted, desktop)) {
        return wanted;
    }
    for (int i = gResolutionsCount - 1; i >= 0; --i) {
        if (FitsInside(gResolutions[i], desktop)) {
            return gResolutions[i];
        }
    }
    return gResolutions[0];
}
