// Replays every saved fuzz input (the seed corpus and the inputs of past
// findings) through the fuzz target in the ordinary test build, so a fixed
// crash stays fixed even where the fuzzer is not run.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

TEST(PacketFileFuzzRegression, SavedInputsRunCleanly) {
  int inputs = 0;
  for (const char* set : {"corpus", "regressions"}) {
    const std::filesystem::path directory =
        std::filesystem::path(TAVODB_FILES_TEST_DIR) / "fuzz" / set;
    ASSERT_TRUE(std::filesystem::is_directory(directory)) << directory;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
      std::ifstream in(entry.path(), std::ios::binary);
      const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
      SCOPED_TRACE(entry.path().string());
      EXPECT_EQ(LLVMFuzzerTestOneInput(bytes.data(), bytes.size()), 0);
      ++inputs;
    }
  }
  EXPECT_GT(inputs, 0);
}

}  // namespace
