// The host window as the host sees it: fitting it to the shown picture, and the destroy
// handling's hand-over to whoever wants the picture before the canvas goes.
#pragma once

namespace velmora {

// Restores the window from minimized, gives its client area the screen size (at most 10010 and
// at most the primary screen, frame included) and centres it on the primary screen, on top of
// the others; then resets the clip.
void FitWindowToSurface();

// Called by the window's destroy handling after files and ports are closed and before the
// canvas is released (a screenshot keeps the shown picture); nullptr: nothing.
extern void (*BeforeCanvasRelease)();

}  // namespace velmora
