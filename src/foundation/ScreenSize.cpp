#include "foundation/ScreenSize.h"

#include <windows.h>

ScreenSize::ScreenSize(tagSIZE const& size) : cx(size.cx), cy(size.cy) {}

ScreenSize::operator tagSIZE() const {
    return tagSIZE{cx, cy};
}
