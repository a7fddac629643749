// Packet files against an independent decoder and encoder (python3 with its
// own zlib module), so the format is checked by something other than the
// code that writes it.
#include <cstdio>

#include "FileTestUtil.h"

namespace filetest {
namespace {

class PacketInteropTest : public FileTest {
 protected:
  // Runs the script with arguments. OUT *output: what it printed.
  static int runScript(const std::string& arguments, std::string* output) {
    const std::string command =
        "python3 '" TAVODB_FILES_TEST_DIR "/packet_interop.py' " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    output->clear();
    char chunk[256];
    while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) *output += chunk;
    return ::pclose(pipe);
  }
};

TEST_F(PacketInteropTest, PythonDecodesWhatWeWrite) {
  const std::vector<Bytes> pieces = {textLike(65536, 1), textLike(1, 2), Bytes(100000, 'x'),
                                     textLike(3000, 3)};
  // Each piece after the first through a new object that appends: the
  // header total must still add up.
  Bytes all;
  for (const Bytes& piece : pieces) {
    FilePointer file = make("ours.pkt", OdbFileTypeGzip);
    ASSERT_TAV_OK(file->Open(all.empty() ? OdbOpenWrite : OdbOpenAppend));
    ASSERT_TAV_OK(write(*file, piece));
    ASSERT_TAV_OK(file->Close());
    all.insert(all.end(), piece.begin(), piece.end());
  }
  std::string output;
  ASSERT_EQ(runScript("decode " + nativePath("ours.pkt") + " " + nativePath("ours.data"), &output),
            0)
      << output;
  EXPECT_EQ(output, std::to_string(all.size()) + "\n");
  EXPECT_EQ(readWhole(nativePath("ours.data")), all);
}

TEST_F(PacketInteropTest, WeReadWhatPythonWrites) {
  const Bytes data = textLike(300000, 5);
  writeWhole(nativePath("theirs.data"), data);
  std::string output;
  ASSERT_EQ(runScript("encode " + nativePath("theirs.data") + " " + nativePath("theirs.pkt") +
                          " 1 4095 65536 100000",
                      &output),
            0)
      << output;
  FilePointer file = make("theirs.pkt", OdbFileTypeGzip);
  ASSERT_TAV_OK(file->Open(OdbOpenRead));
  int size = 0;
  ASSERT_TAV_OK(file->GetDataSize(&size));
  EXPECT_EQ(size, 300000);
  Bytes back;
  ASSERT_TAV_OK(readAll(*file, &back, 10007));
  EXPECT_EQ(back, data);
}

}  // namespace
}  // namespace filetest
