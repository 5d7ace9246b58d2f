// velmora.exe's entry: a program of the graphical subsystem, so that no console window appears.
// The command line comes raw, as the text after the program's own name; the host finds the
// program path in it.
#include <windows.h>

#include "platform/platform.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int) {
  return velmora::DesktopMain(command_line ? command_line : "");
}
