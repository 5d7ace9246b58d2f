// Screenshots: the shown part (ScreenSize) of the current layer as a PNG or BMP file.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

enum class ScreenshotFormat { kPng, kBmp };

// The format a file name asks for by its extension (.png or .bmp, in any case); false for any
// other name.
bool ScreenshotFormatOf(const std::string& path, ScreenshotFormat* format);
// Whether the file can be written, found out before the run by opening it for appending (a file
// that did not exist is removed again); `reason` says why not.
bool ScreenshotWritable(const std::string& path, std::string* reason);

// Keeps a copy of the shown picture when the canvas is released, so that a run whose guest closed
// its own window can still be saved afterwards.
void ArmScreenshot();
// Writes the shown picture in the format the name asks for: the live canvas if it still exists,
// else the copy kept at its release. Parts of ScreenSize beyond the drawing surface are black.
// False (with a message on stderr) when nothing is shown or the file cannot be written.
bool SaveScreenshot(const std::string& path);

}  // namespace velmora
