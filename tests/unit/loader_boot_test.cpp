#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "core/machine.h"
#include "graphics/text.h"
#include "host/hex_loader.h"
#include "host/run.h"
#include "platform/headless/headless.h"
#include "platform/platform.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

// Runs each test in a fresh scratch directory and returns to the starting one afterwards.
class LoaderBoot : public ::testing::Test {
 protected:
  void SetUp() override {
    start_ = fs::current_path();
    scratch_ =
        fs::temp_directory_path() / ("velmora-boot-" + std::to_string(std::random_device{}()));
    fs::create_directories(scratch_);
    fs::current_path(scratch_);
    HeadlessReset();
  }
  void TearDown() override {
    fs::current_path(start_);
    std::error_code ignored;
    fs::remove_all(scratch_, ignored);
  }
  static void Write(const fs::path& path, const std::string& text) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
  }
  fs::path start_;
  fs::path scratch_;
};

TEST_F(LoaderBoot, CommandLinePath) {
  struct Case {
    const char* command_line;
    const char* path;
  };
  const Case cases[] = {
      {"prog.hex", "prog.hex"},
      {"my prog.hex --fast", "my prog.hex --fast"},  // no quotes: the whole line
      {"\"my prog.hex\" --fast", "my prog.hex"},
      {"  \"dir\\my prog.hex\"", "dir\\my prog.hex"},
      {"\"unterminated name.hex", "unterminated name.hex"},
      {"x\"a.hex\"b\"", "a.hex"},
      {"\"\"", ""},
  };
  for (const Case& c : cases) {
    std::string path = "unchanged";
    EXPECT_TRUE(FindProgramPath(c.command_line, &path)) << c.command_line;
    EXPECT_EQ(path, c.path) << c.command_line;
  }
}

TEST_F(LoaderBoot, ProgramNamedAfterTheExecutable) {
  std::string executable;
  ASSERT_TRUE(PlatformGetExecutablePath(&executable));
  // Handed back with backslashes, as every path the guest may see.
  for (char& c : executable) {
    if (c == '\\') c = '/';
  }
  const std::string stem = fs::path(executable).stem().string();
  std::string path;
  EXPECT_FALSE(FindProgramPath("", &path));
  EXPECT_FALSE(FindProgramPath(nullptr, &path));

  // An empty .path file names the empty path, which then fails to open (code 10).
  Write(scratch_ / (stem + ".path"), "");
  ASSERT_TRUE(FindProgramPath("", &path));
  EXPECT_EQ(path, "");

  Write(scratch_ / (stem + ".path"), "elsewhere\\chosen.hex\r\nsecond line\r\n");
  ASSERT_TRUE(FindProgramPath("", &path));
  EXPECT_EQ(path, "elsewhere\\chosen.hex");

  // The .hex file wins over the .path file.
  Write(scratch_ / (stem + ".hex"), ":00000001FF\n");
  ASSERT_TRUE(FindProgramPath("", &path));
  EXPECT_EQ(path, stem + ".hex");
}

TEST_F(LoaderBoot, StartHostOutcomes) {
  EXPECT_EQ(StartHost(nullptr, 1), BootOutcome::kLoadFailed);
  EXPECT_EQ(BootLoadCode, 1);
  EXPECT_EQ(SystemFontMode, 1);
  EndHost();

  // A loadable program: the machine is reset and the working directory is the program's (the
  // runner's tests cover the failures).
  fs::create_directories(scratch_ / "sub");
  Write(scratch_ / "sub" / "good.hex", ":040000000C9400005C\n:00000001FF\n");
  HeadlessReset();
  Machine.data[0x300] = 0;
  Machine.fault = 9;
  ASSERT_EQ(StartHost("sub/good.hex", 1), BootOutcome::kReady);
  EXPECT_EQ(fs::current_path(), scratch_ / "sub");
  EXPECT_EQ(ProgramSize, 4u);
  EXPECT_EQ(Machine.data[0x300], 0xFF);
  EXPECT_EQ(Machine.fault, 0);
  EXPECT_EQ(Machine.pc, 0u);
  EXPECT_EQ(StackPointer(), 0xFFFF);
  EndHost();
  EXPECT_FALSE(PlatformWindowExists());
  EndHost();  // a second end does nothing harmful

  // A bare file name leaves the working directory where it is.
  HeadlessReset();
  ASSERT_EQ(StartHost("good.hex", 1), BootOutcome::kReady);
  EXPECT_EQ(fs::current_path(), scratch_ / "sub");
  EndHost();
}

TEST_F(LoaderBoot, IdlePumpIdlesAboutTenMillisecondsUntilQuit) {
  const uint32_t before = PlatformTickCount();
  EXPECT_TRUE(IdlePump());
  const uint32_t idled = PlatformTickCount() - before;
  EXPECT_GE(idled, 5u);
  EXPECT_LE(idled, 30u);
  PlatformPostQuit();
  EXPECT_FALSE(IdlePump());
}

}  // namespace
}  // namespace velmora
