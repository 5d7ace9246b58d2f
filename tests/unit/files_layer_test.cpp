// The host file layer on real files in a scratch directory.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "io/file_layer.h"
#include "services/status.h"

namespace velmora {
namespace {

class FilesLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/velmora_files_layer_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    const std::string command = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(system(command.c_str()), 0);
  }
  std::string Path(const char* name) const { return dir_ + "/" + name; }
  void Store(const char* name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }
  std::string Load(const char* name) const {
    std::ifstream in(Path(name), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  FileHandle Open(const char* name, uint8_t mode) const {
    return FileOpen(Path(name).c_str(), mode);
  }

  std::string dir_;
};

TEST_F(FilesLayer, OpenModesOnMissingAndExistingFiles) {
  struct Case {
    uint8_t mode;
    bool opens_missing;
    bool can_read, can_write;
  };
  const Case cases[] = {{0, true, true, false},  {1, true, false, true},  {2, true, true, true},
                        {3, false, true, false}, {4, false, false, true}, {5, false, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.mode));
    const std::string name = "missing" + std::to_string(c.mode);
    FileHandle file = Open(name.c_str(), c.mode);
    EXPECT_EQ(HostError, 0u);
    EXPECT_EQ(file != kInvalidHandle, c.opens_missing);
    if (file != kInvalidHandle) {
      EXPECT_EQ(FileSize(file), 0u);
      FileClose(file);
    }
    // An existing file keeps its contents and is opened at position 0.
    Store("existing", "abcd");
    file = Open("existing", c.mode);
    ASSERT_NE(file, kInvalidHandle);
    EXPECT_EQ(FileSize(file), 4u);
    FileWriteByte(file, 'X');
    EXPECT_EQ(HostError, c.can_write ? 0u : 8u);
    FileSeekStart(file);
    const uint8_t first = FileReadByte(file);
    EXPECT_EQ(HostError, c.can_read ? 0u : 7u);
    if (c.can_read) {
      EXPECT_EQ(first, c.can_write ? 'X' : 'a');
    }
    FileClose(file);
    EXPECT_EQ(HostError, 0u);
    EXPECT_EQ(Load("existing"), c.can_write ? "Xbcd" : "abcd");
  }
}

TEST_F(FilesLayer, ModeSixOrMoreOpensNothing) {
  for (int mode : {6, 7, 255}) {
    EXPECT_EQ(Open("never", uint8_t(mode)), kInvalidHandle);
    EXPECT_EQ(HostError, 1u);
  }
  EXPECT_FALSE(FileExists(Path("never").c_str()));
}

TEST_F(FilesLayer, SecondOpenOfAnOpenFileFails) {
  const FileHandle first = Open("held", 2);
  ASSERT_NE(first, kInvalidHandle);
  EXPECT_EQ(Open("held", 3), kInvalidHandle);
  EXPECT_EQ(HostError, 0u);  // a failed open shows only through the handle
  FileDelete(Path("held").c_str());
  EXPECT_EQ(HostError, 3u);
  FileRename(Path("held").c_str(), Path("moved").c_str());
  EXPECT_EQ(HostError, 4u);
  FileClose(first);
  const FileHandle again = Open("held", 3);
  EXPECT_NE(again, kInvalidHandle);
  FileClose(again);
}

TEST_F(FilesLayer, ValuesAreLittleEndianAndShortReadsGiveEndOfFile) {
  FileHandle file = Open("values", 2);
  FileWriteWord(file, 0x1234);
  FileWriteDword(file, 0x89ABCDEF);
  FileWriteQword(file, 0x03020100, 0x07060504);
  FileWriteByte(file, 0x5A);
  EXPECT_EQ(HostError, 0u);
  FileClose(file);
  EXPECT_EQ(Load("values"), std::string("\x34\x12\xEF\xCD\xAB\x89\x00\x01\x02\x03\x04\x05\x06\x07"
                                        "\x5A",
                                        15));
  file = Open("values", 3);
  EXPECT_EQ(FileReadWord(file), 0x1234);
  EXPECT_EQ(FileReadDword(file), 0x89ABCDEFu);
  FileSeek(file, 14);
  EXPECT_EQ(FileReadWord(file), 0);  // one byte left: consumed, value 0
  EXPECT_EQ(EndOfFileFlag, 1);
  EXPECT_EQ(HostError, 0u);
  EXPECT_EQ(FileReadByte(file), 0);
  EXPECT_EQ(EndOfFileFlag, 1);
  FileSeek(file, 13);
  EXPECT_EQ(FileReadByte(file), 0x07);
  EXPECT_EQ(EndOfFileFlag, 0);
  uint8_t block[8] = {};
  FileSeek(file, 10);
  FileReadBlock(file, 8, block);
  EXPECT_EQ(EndOfFileFlag, 1);
  EXPECT_EQ(std::memcmp(block, "\x04\x05\x06\x07\x5A", 5), 0);
  FileSeek(file, -1);
  EXPECT_EQ(HostError, 5u);
  FileSeekEnd(file);
  EXPECT_EQ(HostError, 0u);
  FileClose(file);
}

TEST_F(FilesLayer, ReadLineHandlesLineEndsAndLongLines) {
  Store("lines", "A\r\nB");
  FileHandle file = Open("lines", 3);
  uint8_t buffer[16];
  struct Expect {
    const char* text;
    uint32_t error;
  };
  for (const Expect& e : {Expect{"A", 0}, Expect{"B", 255}, Expect{"", 255}}) {
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(FileReadLine(file, sizeof buffer, buffer), std::strlen(e.text));
    EXPECT_STREQ(reinterpret_cast<char*>(buffer), e.text);
    EXPECT_EQ(HostError, e.error);
  }
  FileClose(file);

  Store("long", "ABCDEF\nG\n");
  file = Open("long", 3);
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(FileReadLine(file, 4, buffer), 0u);
  EXPECT_EQ(HostError, 0u);
  EXPECT_EQ(std::memcmp(buffer, "ABC#", 4), 0);  // unterminated piece
  EXPECT_EQ(FileReadLine(file, 4, buffer), 0u);
  EXPECT_EQ(std::memcmp(buffer, "DEF#", 4), 0);
  EXPECT_EQ(FileReadLine(file, 4, buffer), 0u);  // the line feed alone
  EXPECT_STREQ(reinterpret_cast<char*>(buffer), "");
  EXPECT_EQ(FileReadLine(file, 16, buffer), 1u);
  EXPECT_STREQ(reinterpret_cast<char*>(buffer), "G");
  EXPECT_EQ(FileReadLine(file, 1, buffer), 1u);  // no room: nothing read
  FileClose(file);
}

TEST_F(FilesLayer, TextAndLinesWriteWithoutTerminator) {
  FileHandle file = Open("text", 1);
  EXPECT_EQ(FileWriteText(file, ""), 0u);
  EXPECT_EQ(FileWriteText(file, "ab"), 2u);
  EXPECT_EQ(FileWriteLine(file, "cd"), 2u);
  EXPECT_EQ(FileWriteLine(file, ""), 0u);
  EXPECT_EQ(HostError, 0u);
  FileClose(file);
  EXPECT_EQ(Load("text"), "abcd\r\n\r\n");
}

TEST_F(FilesLayer, WritesToAFullDeviceFail) {
  const FileHandle file = FileOpen("/dev/full", 4);
  if (file == kInvalidHandle) GTEST_SKIP() << "/dev/full not available";
  const uint8_t bytes[3] = {1, 2, 3};
  FileWriteByte(file, 1);
  EXPECT_EQ(HostError, 8u);
  FileWriteBlock(file, 3, bytes);
  EXPECT_EQ(HostError, 8u);
  FileWriteBlock(file, 0, bytes);
  EXPECT_EQ(HostError, 0u);
  EXPECT_EQ(FileWriteText(file, "abc"), 0u);
  EXPECT_EQ(HostError, 8u);
  EXPECT_EQ(FileWriteLine(file, "abc"), 0u);
  EXPECT_EQ(HostError, 8u);
  FileClose(file);
}

TEST_F(FilesLayer, CloseOfABadHandleFails) {
  FileClose(kInvalidHandle);
  EXPECT_EQ(HostError, 2u);
  EXPECT_EQ(FileSize(kInvalidHandle), 0u);
  EXPECT_EQ(HostError, 12u);
  FileFlush(kInvalidHandle);
  EXPECT_EQ(HostError, 10u);
  EXPECT_EQ(FileReadByte(kInvalidHandle), 0);
  EXPECT_EQ(HostError, 7u);
}

TEST_F(FilesLayer, DirectoriesRenameDeleteAndWildcards) {
  const std::string sub = Path("sub");
  DirCreate(sub.c_str());
  EXPECT_EQ(HostError, 0u);
  DirCreate(sub.c_str());
  EXPECT_EQ(HostError, 9u);
  // Backslashes separate directories.
  const std::string guest_name = dir_ + "\\sub\\data.txt";
  FileHandle file = FileOpen(guest_name.c_str(), 1);
  ASSERT_NE(file, kInvalidHandle);
  FileClose(file);
  Store("other", "x");
  struct Pattern {
    const char* name;
    bool found;
  };
  for (const Pattern& p :
       {Pattern{"sub/*.txt", true}, Pattern{"sub\\data.???", true}, Pattern{"sub/*.bin", false},
        Pattern{"*.*", true}, Pattern{"oth*", true}, Pattern{"s*/data.txt", false},
        Pattern{"sub", true}, Pattern{"nothing", false}}) {
    EXPECT_EQ(FileExists(Path(p.name).c_str()), p.found) << p.name;
  }
  FileRename(guest_name.c_str(), Path("other").c_str());  // never replaces
  EXPECT_EQ(HostError, 4u);
  FileRename(guest_name.c_str(), Path("moved.txt").c_str());
  EXPECT_EQ(HostError, 0u);
  FileDelete(sub.c_str());  // a directory is not a file
  EXPECT_EQ(HostError, 3u);
  DirRemove(sub.c_str());
  EXPECT_EQ(HostError, 0u);
  FileDelete(Path("moved.txt").c_str());
  EXPECT_EQ(HostError, 0u);
  FileDelete(Path("moved.txt").c_str());
  EXPECT_EQ(HostError, 3u);
  EXPECT_EQ(FileOpen(dir_.c_str(), 3), kInvalidHandle);  // directories are not files
}

TEST_F(FilesLayer, CurrentAndTemporaryDirectoryUseBackslashes) {
  char saved[4096];
  ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
  FileSetCurrentDir(dir_.c_str());
  EXPECT_EQ(HostError, 0u);
  char buffer[4096];
  FileGetCurrentDir(sizeof buffer, buffer);
  EXPECT_EQ(HostError, 0u);
  std::string expected = dir_;
  for (char& c : expected) c = c == '/' ? '\\' : c;
  EXPECT_STREQ(buffer, expected.c_str());
  FileGetCurrentDir(4, buffer);
  EXPECT_EQ(HostError, 11u);
  EXPECT_STREQ(buffer, "");
  FileSetCurrentDir(Path("absent").c_str());
  EXPECT_EQ(HostError, 14u);
  const uint32_t length = FileGetTempPath(sizeof buffer, buffer);
  EXPECT_EQ(HostError, 0u);
  EXPECT_EQ(length, std::strlen(buffer));
  EXPECT_EQ(buffer[length - 1], '\\');
  EXPECT_EQ(FileGetTempPath(2, buffer), 0u);
  EXPECT_EQ(HostError, 13u);
  EXPECT_STREQ(buffer, "");
  ASSERT_EQ(chdir(saved), 0);
}

}  // namespace
}  // namespace velmora
