/* The Windows build's stand-in for the POSIX touch that the launch test's guest names: creates
 * every file its command line names. velmora-run.exe finds it beside itself, where WinExec looks
 * first. */
#include <stdio.h>

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    FILE* file = fopen(argv[i], "ab");
    if (file) fclose(file);
  }
  return 0;
}
