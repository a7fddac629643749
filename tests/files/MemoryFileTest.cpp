// Memory files: one registry of names shared by every object, deletion
// under open objects, modes, seeking and concurrent use.
#include <atomic>
#include <thread>

#include "FileTestUtil.h"
#include "LogCapture.h"
#include "TavOdb/OdbMemoryFile.h"

namespace filetest {
namespace {

// Each test uses its own names and deletes them, since the registry is
// process-wide.
class MemoryFileTest : public FileTest {
 protected:
  static FilePointer open(const char16_t* name, OdbOpenMode mode, TavResult expected = S_OK) {
    FilePointer file = OdbFile::getInstance(name, OdbFileTypeMemory);
    EXPECT_TRUE(file);
    EXPECT_EQ(file->Initialize(), S_OK);
    EXPECT_EQ(file->Open(mode), expected);
    return file;
  }
  static void remove(const char16_t* name) { ASSERT_TAV_OK(OdbMemoryFile(name).Delete()); }
};

TEST_F(MemoryFileTest, NamesDifferingInCaseAndSeparatorsShareOneFile) {
  FilePointer writer = open(u"C:\\Temp\\\\a.dat", OdbOpenWrite);
  ASSERT_TAV_OK(write(*writer, Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  FilePointer reader = open(u"c:/temp/A.DAT", OdbOpenRead);
  EXPECT_EQ(readSome(*reader, 100), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(fileSize(*open(u"C:\\TEMP\\A.DAT\\", OdbOpenRead)), 10);
  // Forward slashes are not collapsed: this is another name.
  tavtest::LogCapture capture;
  open(u"C://temp/a.dat", OdbOpenRead, TAV_E_FILENOTFOUND);
  EXPECT_EQ(capture.texts(), std::vector<std::string>{"Memory File C://TEMP/A.DAT not found."});
  remove(u"c:/temp/a.dat");
}

TEST_F(MemoryFileTest, MissingFilesAndTheLifeOfANamedFile) {
  {
    tavtest::LogCapture capture;
    open(u"life.bin", OdbOpenReadExisting, TAV_E_NOTFOUND);
    EXPECT_TRUE(capture.texts().empty());
  }
  {
    FilePointer writer = open(u"life.bin", OdbOpenAppend);
    EXPECT_TRUE(writer->DoesExist());
    ASSERT_TAV_OK(write(*writer, Bytes{4, 2}));
  }
  FilePointer later = open(u"LIFE.BIN", OdbOpenReadExisting);  // outlives its objects
  EXPECT_EQ(readSome(*later, 5), (Bytes{4, 2}));
  ASSERT_TAV_OK(later->Delete());
  EXPECT_FALSE(later->DoesExist());
  ASSERT_TAV_OK(later->Delete());  // already gone: fine
  open(u"life.bin", OdbOpenRead, TAV_E_FILENOTFOUND);
}

TEST_F(MemoryFileTest, AnOpenObjectKeepsItsContentsWhenTheFileIsDeleted) {
  FilePointer holder = open(u"deleted.bin", OdbOpenReadWrite);
  ASSERT_TAV_OK(write(*holder, Bytes(1000, 7)));
  remove(u"deleted.bin");
  ASSERT_TAV_OK(write(*holder, Bytes(5000, 8)));  // grows the orphaned contents
  ASSERT_TAV_OK(holder->Seek(995, OdbSeekSet, nullptr));
  EXPECT_EQ(readSome(*holder, 10), (Bytes{7, 7, 7, 7, 7, 8, 8, 8, 8, 8}));
  // A new file of the same name starts empty and is not the old one.
  FilePointer fresh = open(u"deleted.bin", OdbOpenReadWrite);
  EXPECT_EQ(fileSize(*fresh), 0);
  ASSERT_TAV_OK(holder->Close());
  holder.reset();
  remove(u"deleted.bin");
}

TEST_F(MemoryFileTest, ModesGuardReadWriteAndSeek) {
  FilePointer file = open(u"modes.bin", OdbOpenWrite);
  ASSERT_TAV_OK(write(*file, Bytes{1, 2, 3}));
  Bytes one(1);
  TavBuffer buffer{0, one.data()};
  EXPECT_TAV_RC(E_INVALIDARG, file->Read(1, &buffer));
  ASSERT_TAV_OK(file->Close());
  EXPECT_TAV_RC(E_UNEXPECTED, file->Read(1, &buffer));
  EXPECT_TAV_RC(E_UNEXPECTED, file->Write(1, &buffer));
  EXPECT_TAV_RC(E_UNEXPECTED, file->Seek(0, OdbSeekSet, nullptr));

  FilePointer reader = open(u"modes.bin", OdbOpenRead);
  EXPECT_TAV_RC(E_INVALIDARG, write(*reader, Bytes{1}));
  tavtest::LogCapture capture;
  EXPECT_TAV_RC(E_INVALIDARG, reader->Seek(-1, OdbSeekSet, nullptr));
  EXPECT_TAV_RC(E_INVALIDARG, reader->Seek(1, OdbSeekEnd, nullptr));
  EXPECT_EQ(capture.texts(),
            (std::vector<std::string>{"Illegal seek position: -1", "Illegal seek position: 4"}));
  int position = 0;
  ASSERT_TAV_OK(reader->Seek(-1, OdbSeekEnd, &position));
  EXPECT_EQ(position, 2);
  ASSERT_TAV_OK(reader->Seek(-1, OdbSeekCurrent, &position));
  EXPECT_EQ(position, 1);
  EXPECT_EQ(readSome(*reader, 10), (Bytes{2, 3}));
  EXPECT_EQ(readSome(*reader, 10), Bytes{});

  FilePointer appender = open(u"modes.bin", OdbOpenAppend);
  capture.clear();
  EXPECT_TAV_RC(E_INVALIDARG, appender->Seek(1, OdbSeekSet, nullptr));
  EXPECT_EQ(capture.texts(), std::vector<std::string>{"Illegal seek position for Append mode"});
  ASSERT_TAV_OK(appender->Seek(0, OdbSeekEnd, &position));
  EXPECT_EQ(position, 3);
  ASSERT_TAV_OK(write(*appender, Bytes{4}));
  EXPECT_TAV_RC(TAV_E_NOTSUPPORTED, appender->Move(u"elsewhere"));
  remove(u"modes.bin");
}

TEST_F(MemoryFileTest, WritesOverwriteInPlaceAndExtendButNeverShrink) {
  FilePointer file = open(u"grow.bin", OdbOpenReadWrite);
  ASSERT_TAV_OK(write(*file, Bytes{1, 2, 3}));
  ASSERT_TAV_OK(file->Seek(2, OdbSeekSet, nullptr));
  ASSERT_TAV_OK(write(*file, Bytes{7, 8, 9, 10}));
  ASSERT_TAV_OK(file->Seek(0, OdbSeekSet, nullptr));
  EXPECT_EQ(readSome(*file, 100), (Bytes{1, 2, 7, 8, 9, 10}));
  ASSERT_TAV_OK(file->Seek(1, OdbSeekSet, nullptr));
  ASSERT_TAV_OK(write(*file, Bytes{5}));
  EXPECT_EQ(dataSize(*file), 6);
  // Many small appends build the same bytes as one big write.
  Bytes expected = {1, 5, 7, 8, 9, 10};
  ASSERT_TAV_OK(file->Seek(0, OdbSeekEnd, nullptr));
  for (int i = 0; i < 2000; ++i) {
    ASSERT_TAV_OK(write(*file, Bytes{static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8)}));
    expected.push_back(static_cast<uint8_t>(i));
    expected.push_back(static_cast<uint8_t>(i >> 8));
  }
  ASSERT_TAV_OK(file->Seek(0, OdbSeekSet, nullptr));
  EXPECT_EQ(readSome(*file, 10000), expected);
  remove(u"grow.bin");
}

TEST_F(MemoryFileTest, DirtinessAndSizeAsOtherObjectsWrite) {
  FilePointer creator = open(u"dirty.bin", OdbOpenWrite);
  ASSERT_TAV_OK(write(*creator, Bytes{1}));
  EXPECT_FALSE(creator->IsDirty());
  FilePointer other = open(u"dirty.bin", OdbOpenReadWrite);
  EXPECT_FALSE(other->IsDirty());
  ASSERT_TAV_OK(write(*other, Bytes{2}));
  EXPECT_TRUE(other->IsDirty());
  EXPECT_FALSE(creator->IsDirty());
  EXPECT_TRUE(creator->DoesExist());  // refreshes from the shared flag
  EXPECT_TRUE(creator->IsDirty());

  // Each object sees the size of its own opening.
  FilePointer reader = open(u"dirty.bin", OdbOpenRead);
  ASSERT_TAV_OK(write(*creator, Bytes{3, 4}));
  EXPECT_EQ(readSome(*reader, 10), (Bytes{2}));
  ASSERT_TAV_OK(reader->Close());
  ASSERT_TAV_OK(reader->Open(OdbOpenRead));  // the position stays, the size is new
  EXPECT_EQ(readSome(*reader, 10), (Bytes{3, 4}));
  remove(u"dirty.bin");
}

TEST_F(MemoryFileTest, ObjectWithoutANameRefusesWork) {
  tavtest::LogCapture capture;
  OdbMemoryFile file(nullptr);
  EXPECT_EQ(capture.texts(), std::vector<std::string>{"normalizePathString failed. rc=0x8007000e"});
  EXPECT_TAV_RC(E_UNEXPECTED, file.Open(OdbOpenWrite));
  EXPECT_TAV_RC(E_UNEXPECTED, file.Delete());
  EXPECT_THROW(file.DoesExist(), TavResult);
}

TEST_F(MemoryFileTest, ConcurrentObjectsOnOneFileAndOnManyNames) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 200;
  FilePointer shared = open(u"threads/shared", OdbOpenWrite);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::u16string own =
          u"threads/own" + std::u16string(1, static_cast<char16_t>(u'a' + t));
      for (int round = 0; round < kRounds; ++round) {
        FilePointer writer = OdbFile::getInstance(u"THREADS/SHARED", OdbFileTypeMemory);
        FilePointer reader = OdbFile::getInstance(u"threads\\shared", OdbFileTypeMemory);
        FilePointer mine = OdbFile::getInstance(own.c_str(), OdbFileTypeMemory);
        Bytes data(64, static_cast<uint8_t>(t));
        TavBuffer buffer{0, data.data()};
        if (writer->Open(OdbOpenAppend) != S_OK || writer->Write(64, &buffer) != S_OK ||
            reader->Open(OdbOpenRead) != S_OK || reader->Read(64, &buffer) != S_OK ||
            mine->Open(OdbOpenWrite) != S_OK || mine->Write(64, &buffer) != S_OK ||
            mine->Delete() != S_OK) {
          ++failures;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  ASSERT_TAV_OK(shared->Close());
  ASSERT_TAV_OK(shared->Open(OdbOpenRead));
  EXPECT_EQ(fileSize(*shared), kThreads * kRounds * 64);
  remove(u"threads/shared");
}

}  // namespace
}  // namespace filetest
