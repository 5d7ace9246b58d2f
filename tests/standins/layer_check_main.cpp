// The layer checks only need to link; see src/CMakeLists.txt.
int main() {
  return 0;
}
