// A session that implements no backend operation, for tests of the session
// base and its pools.
#ifndef TAVODB_TESTS_NULL_SESSION_H
#define TAVODB_TESTS_NULL_SESSION_H

#include "TavOdb/OdbSession.h"

class NullSession : public OdbSession {
 public:
  TavResult Initialize(OdbDataSource*, OdbPoolMode) override { return TAV_E_NOTSUPPORTED; }
  TavResult PutCommand(const char16_t*, int, const TavVariant*) override {
    return TAV_E_NOTSUPPORTED;
  }
  TavResult FlushCommand() override { return TAV_E_NOTSUPPORTED; }
  TavResult CancelCommand() override { return TAV_E_NOTSUPPORTED; }
  TavResult BeginTransaction(OdbTransactMode, OdbIsolationLevel) override {
    return TAV_E_NOTSUPPORTED;
  }
  TavResult CommitTransaction() override { return TAV_E_NOTSUPPORTED; }
  TavResult AbortTransaction() override { return TAV_E_NOTSUPPORTED; }
  TavResult ReadText(const char16_t*, const char16_t*, const char16_t*, int, int,
                     TavBuffer*) override {
    return TAV_E_NOTSUPPORTED;
  }
  TavResult UpdateText(const char16_t*, const char16_t*, const char16_t*, int, int, TavBuffer,
                       OdbUpdateMode) override {
    return TAV_E_NOTSUPPORTED;
  }
  TavResult CreateRowset(OdbRowset**) override { return TAV_E_NOTSUPPORTED; }
  TavResult UpdateFullText(const char16_t*, const char16_t*, const char16_t*, int,
                           const TavVariant*, const TavVariant*, OdbUpdateMode) override {
    return TAV_E_NOTSUPPORTED;
  }

 protected:
  TavResult execCommand() override { return TAV_E_NOTSUPPORTED; }
  TavResult clearInfo() override { return TAV_E_NOTSUPPORTED; }
};

#endif  // TAVODB_TESTS_NULL_SESSION_H
