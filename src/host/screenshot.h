// Screenshots: the shown part (ScreenSize) of the current layer as a PNG file.
#pragma once

#include <cstdint>

namespace velmora {

// Keeps a copy of the shown picture when the canvas is released, so that a run whose guest closed
// its own window can still be saved afterwards.
void ArmScreenshot();
// Writes the shown picture: the live canvas if it still exists, else the copy kept at its
// release. Parts of ScreenSize beyond the drawing surface are black. False (with a message on
// stderr) when nothing is shown or the file cannot be written.
bool SaveScreenshot(const char* path);

}  // namespace velmora
