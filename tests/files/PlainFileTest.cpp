// Plain files: the factory, path normalisation, open modes with directory
// creation, and how file-layer failures become results and log lines.
#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>
#include <typeinfo>

#include "FileTestUtil.h"
#include "LogCapture.h"
#include "Mod/ModException.h"

namespace filetest {
namespace {

using ModFileFault::Call;

class PlainFileTest : public FileTest {
 protected:
  FilePointer openPlain(const std::string& name, OdbOpenMode mode) {
    FilePointer file = make(name, OdbFileTypePlain);
    EXPECT_EQ(file->Open(mode), S_OK);
    return file;
  }
};

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.rfind(prefix, 0) == 0;
}

// The packet and memory tests get their objects from the factory too.
TEST_F(PlainFileTest, FactoryMakesEachKindAndRejectsUnknownTypes) {
  FilePointer plain = OdbFile::getInstance(u"x", OdbFileTypePlain);
  ASSERT_TRUE(plain);
  EXPECT_EQ(typeid(*plain), typeid(OdbFile));
  tavtest::LogCapture capture;
  FilePointer none = OdbFile::getInstance(u"x", static_cast<OdbFileType>(3));
  EXPECT_FALSE(none);
  EXPECT_EQ(capture.texts(), std::vector<std::string>{"Illegal OdbFileType: 3"});
}

TEST_F(PlainFileTest, BackslashesBecomeSlashesButDoubledOnesStay) {
  OdbFile file(u"C:\\data\\a.bin");
  EXPECT_EQ(std::u16string(file.getFullPathName()), u"");
  ASSERT_TAV_OK(file.Initialize());
  EXPECT_EQ(std::u16string(file.getFullPathName()), u"C:/data/a.bin");
  OdbFile unc(u"\\\\server\\share\\x");
  ASSERT_TAV_OK(unc.Initialize());
  EXPECT_EQ(std::u16string(unc.getFullPathName()), u"\\\\server/share/x");

  OdbFile none(nullptr);
  tavtest::LogCapture capture;
  EXPECT_TAV_RC(E_INVALIDARG, none.Initialize());
  EXPECT_EQ(capture.texts().at(0), "Fail to check path string");
  EXPECT_TAV_RC(E_UNEXPECTED, none.Open(OdbOpenRead));
}

TEST_F(PlainFileTest, WriteModesCreateMissingDirectoriesAndRoundTrip) {
  const Bytes data = textLike(10000);
  FilePointer file = openPlain("new/dirs/a.bin", OdbOpenWrite);
  EXPECT_FALSE(file->IsDirty());
  ASSERT_TAV_OK(write(*file, data));
  EXPECT_TRUE(file->IsDirty());
  int position = -1;
  ASSERT_TAV_OK(file->Seek(0, OdbSeekSet, &position));
  EXPECT_EQ(position, 0);
  Bytes back;
  ASSERT_TAV_OK(readAll(*file, &back, 3000));  // OdbOpenWrite may read back
  EXPECT_EQ(back, data);
  ASSERT_TAV_OK(file->Close());
  EXPECT_EQ(fileSize(*file), 10000);
  // The directory is there now: opening beside it is no error.
  ASSERT_TAV_OK(openPlain("new/dirs/b.bin", OdbOpenReadWrite)->Close());
  EXPECT_TRUE(std::filesystem::exists(nativePath("new/dirs/b.bin")));
}

TEST_F(PlainFileTest, OpenModesTruncateKeepAndAppend) {
  writeWhole(nativePath("m.bin"), Bytes{1, 2, 3});
  FilePointer file = openPlain("m.bin", OdbOpenAppend);
  ASSERT_TAV_OK(write(*file, Bytes{4}));
  ASSERT_TAV_OK(file->Close());
  EXPECT_EQ(readWhole(nativePath("m.bin")), (Bytes{1, 2, 3, 4}));
  ASSERT_TAV_OK(file->Open(OdbOpenReadWrite));
  ASSERT_TAV_OK(write(*file, Bytes{9}));
  ASSERT_TAV_OK(file->Close());
  EXPECT_EQ(readWhole(nativePath("m.bin")), (Bytes{9, 2, 3, 4}));
  ASSERT_TAV_OK(file->Open(OdbOpenWrite));
  ASSERT_TAV_OK(file->Close());
  EXPECT_TRUE(readWhole(nativePath("m.bin")).empty());
  EXPECT_TAV_RC(E_INVALIDARG, file->Open(static_cast<OdbOpenMode>(5)));
}

TEST_F(PlainFileTest, EmptyTransfersTouchNothing) {
  FilePointer file = openPlain("e.bin", OdbOpenWrite);
  TavBuffer buffer{77, nullptr};
  ASSERT_TAV_OK(file->Write(0, &buffer));
  EXPECT_EQ(buffer.size, 0u);
  EXPECT_FALSE(file->IsDirty());
  buffer.size = 77;
  ASSERT_TAV_OK(file->Read(0, &buffer));
  EXPECT_EQ(buffer.size, 0u);
  EXPECT_TAV_RC(E_INVALIDARG, file->Read(1, &buffer));  // no memory to read into
  EXPECT_TAV_RC(E_INVALIDARG, file->Read(-1, &buffer));
  EXPECT_TAV_RC(E_INVALIDARG, file->Write(1, nullptr));
}

TEST_F(PlainFileTest, MissingFileIsQuietOnlyForReadExisting) {
  FilePointer file = make("missing.bin", OdbFileTypePlain);
  {
    tavtest::LogCapture capture;
    EXPECT_TAV_RC(TAV_E_NOTFOUND, file->Open(OdbOpenReadExisting));
    EXPECT_TRUE(capture.texts().empty());
  }
  tavtest::LogCapture capture;
  EXPECT_TAV_RC(TAV_E_FILENOTFOUND, file->Open(OdbOpenRead));
  const std::vector<std::string> texts = capture.texts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_TRUE(startsWith(texts[0], "Got ModException at OdbFile.cpp:")) << texts[0];
  EXPECT_NE(texts[0].find("error 2002"), std::string::npos) << texts[0];
  EXPECT_EQ(texts[1], "Error File Name : " + nativePath("missing.bin"));
}

TEST_F(PlainFileTest, DeleteAndMoveWorkOnTheNormalisedPath) {
  FilePointer file = openPlain("d.bin", OdbOpenWrite);
  ASSERT_TAV_OK(write(*file, Bytes{5, 6}));
  ASSERT_TAV_OK(file->Close());

  ASSERT_TAV_OK(file->Move(u16(nativePath("d.bin")).c_str()));  // same path: nothing to do
  const std::u16string target = u16(_directory.path()) + u"\\moved.bin";
  ASSERT_TAV_OK(file->Move(target.c_str()));
  EXPECT_EQ(std::u16string(file->getFullPathName()), u16(nativePath("moved.bin")));
  EXPECT_FALSE(std::filesystem::exists(nativePath("d.bin")));
  ASSERT_TAV_OK(file->Open(OdbOpenRead));  // opens the new path
  Bytes back;
  ASSERT_TAV_OK(readAll(*file, &back));
  EXPECT_EQ(back, (Bytes{5, 6}));
  ASSERT_TAV_OK(file->Close());

  EXPECT_TAV_RC(TAV_E_FILENOTFOUND, file->Move(u16(nativePath("no/such/dir/x")).c_str()));
  EXPECT_EQ(std::u16string(file->getFullPathName()), u16(nativePath("moved.bin")));

  EXPECT_TRUE(file->DoesExist());
  ASSERT_TAV_OK(file->Delete());
  EXPECT_FALSE(file->DoesExist());
  ASSERT_TAV_OK(file->Delete());  // missing: fine
}

// Each file-layer failure, by operation, and the result it must give.
struct FaultCase {
  const char* name;
  Call call;
  int errnoValue;
  TavResult expected;
};

class PlainFileFaultTest : public PlainFileTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(PlainFileFaultTest, MapsToTheDocumentedResult) {
  const FaultCase& fault = GetParam();
  writeWhole(nativePath("f.bin"), Bytes{1, 2, 3});
  FilePointer file = make("f.bin", OdbFileTypePlain);
  if (fault.call != Call::Open && fault.call != Call::Mkdir) {
    ASSERT_TAV_OK(file->Open(OdbOpenReadWrite));
  }
  ModFileFault::inject(fault.call, fault.errnoValue);
  tavtest::LogCapture capture;
  uint8_t data[3] = {7, 7, 7};
  TavBuffer buffer{0, data};
  int value = 0;
  const std::map<Call, std::function<TavResult()>> operations = {
      {Call::Open, [&] { return file->Open(OdbOpenRead); }},
      {Call::Mkdir, [&] { return file->Open(OdbOpenWrite); }},
      {Call::Read, [&] { return file->Read(3, &buffer); }},
      {Call::Write, [&] { return file->Write(3, &buffer); }},
      {Call::Seek, [&] { return file->Seek(1, OdbSeekSet, &value); }},
      {Call::Size, [&] { return file->GetFileSize(&value); }},
      {Call::Close, [&] { return file->Close(); }},
      {Call::Unlink, [&] { return file->Delete(); }},
      {Call::Rename, [&] { return file->Move(u16(nativePath("g.bin")).c_str()); }}};
  EXPECT_TAV_RC(fault.expected, operations.at(fault.call)());
  EXPECT_EQ(capture.texts().size(), 2u);  // the exception, then the file name
  EXPECT_TRUE(fault.call != Call::Write || !file->IsDirty());
  // No failure may change the bytes; a failed mkdir must not open (and empty) the file.
  EXPECT_EQ(readWhole(nativePath("f.bin")), (Bytes{1, 2, 3}));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PlainFileFaultTest,
    ::testing::Values(FaultCase{"DiskFullInWrite", Call::Write, ENOSPC, TAV_E_DISKFULL},
                      FaultCase{"DiskFullInClose", Call::Close, ENOSPC, TAV_E_FILEERROR},
                      FaultCase{"DiskFullInOpen", Call::Open, ENOSPC, TAV_E_DISKFULL},
                      FaultCase{"DiskFullInSeek", Call::Seek, ENOSPC, TAV_E_FILEERROR},
                      FaultCase{"QuotaInWrite", Call::Write, EDQUOT, TAV_E_DISKFULL},
                      FaultCase{"IoErrorInRead", Call::Read, EIO, TAV_E_FILE2201},
                      FaultCase{"IoErrorInSize", Call::Size, EIO, TAV_E_FILE2201},
                      FaultCase{"PermissionInOpen", Call::Open, EACCES, TAV_E_FILE2016},
                      FaultCase{"NotDirectoryInOpen", Call::Open, ENOTDIR, TAV_E_FILENOTFOUND},
                      FaultCase{"PermissionInMkdir", Call::Mkdir, EACCES, TAV_E_FILE2016},
                      FaultCase{"ReadOnlyInDelete", Call::Unlink, EROFS, TAV_E_FILE2016},
                      FaultCase{"BusyInRename", Call::Rename, EBUSY, TAV_E_FILEERROR},
                      FaultCase{"TooManyFilesInOpen", Call::Open, EMFILE, TAV_E_FILEERROR}),
    [](const ::testing::TestParamInfo<FaultCase>& param) { return std::string(param.param.name); });

TEST_F(PlainFileTest, CallErrorLogsOrMapsForOutsideCallers) {
  FilePointer file = make("c.bin", OdbFileTypePlain);
  tavtest::LogCapture capture;
  ModException diskFull(ModModule::File, ModOsErrorNumber::DiskFull, ModErrorLevel::Error);
  EXPECT_TAV_RC(TAV_E_DISKFULL, file->call_error(1, S_OK, 12, diskFull, OdbModuleWrite));
  EXPECT_TAV_RC(TAV_E_FILEERROR, file->call_error(1, S_OK, 12, diskFull, OdbModuleDelete));
  ASSERT_EQ(capture.texts().size(), 4u);
  EXPECT_TRUE(startsWith(capture.texts()[0], "Got ModException at test:12, "))
      << capture.texts()[0];
  capture.clear();
  EXPECT_TAV_RC(S_OK, file->call_error(0, E_INVALIDARG, 34, diskFull, OdbModuleWrite));
  EXPECT_EQ(
      capture.texts(),
      std::vector<std::string>{"\n\nFileName:test  Line:34  ErrorCode:  0x80070057  BadParameter"});
}

}  // namespace
}  // namespace filetest
