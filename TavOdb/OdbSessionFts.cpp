#include "TavOdb/OdbSessionFts.h"

OdbSessionFts::OdbSessionFts() = default;

OdbSessionFts::~OdbSessionFts() = default;

TavResult OdbSessionFts::Initialize(OdbDataSource*, OdbPoolMode) {
  return S_OK;
}

TavResult OdbSessionFts::PutCommand(const char16_t*, int, const TavVariant*) {
  return S_OK;
}

TavResult OdbSessionFts::FlushCommand() {
  return S_OK;
}

TavResult OdbSessionFts::CancelCommand() {
  return S_OK;
}

TavResult OdbSessionFts::BeginTransaction(OdbTransactMode, OdbIsolationLevel) {
  return S_OK;
}

TavResult OdbSessionFts::CommitTransaction() {
  return S_OK;
}

TavResult OdbSessionFts::AbortTransaction() {
  return S_OK;
}

TavResult OdbSessionFts::ReadText(const char16_t*, const char16_t*, const char16_t*, int, int,
                                  TavBuffer*) {
  return S_OK;
}

TavResult OdbSessionFts::UpdateText(const char16_t*, const char16_t*, const char16_t*, int, int,
                                    TavBuffer, OdbUpdateMode) {
  return S_OK;
}

TavResult OdbSessionFts::CreateRowset(OdbRowset**) {
  return S_OK;
}

TavResult OdbSessionFts::UpdateFullText(const char16_t*, const char16_t*, const char16_t*, int,
                                        const TavVariant*, const TavVariant*, OdbUpdateMode) {
  return TAV_E_NOTSUPPORTED;
}

TavResult OdbSessionFts::DeleteRow(const char16_t*, const char16_t*) {
  return S_OK;
}

TavResult OdbSessionFts::CreateTable(const char16_t*) {
  return S_OK;
}

TavResult OdbSessionFts::BeginInsertRow(const char16_t*, int) {
  return S_OK;
}

TavResult OdbSessionFts::InsertRow(int, const TavVariant*, int*) {
  return S_OK;
}

TavResult OdbSessionFts::EndInsertRow() {
  return S_OK;
}

IDBCreateCommand* OdbSessionFts::GetIDBCreateCommand() {
  return _pIDBCreateCommand;
}

TavResult OdbSessionFts::execCommand() {
  return S_OK;
}

TavResult OdbSessionFts::clearInfo() {
  return S_OK;
}

IDBCreateSession* OdbSessionFts::GetIDBCreateSession() {
  return _pIDBCreateSession;
}
