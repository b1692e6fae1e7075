#pragma once

// The raw path's zlib levels on screen content: per content, depth and level the encoder's time
// and bytes on the wire, and per link rate how close the level the encoder picks comes to the
// best one (compression plus sending).
void BenchZlibLevels();
