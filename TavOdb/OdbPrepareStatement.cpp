#include "TavOdb/OdbPrepareStatement.h"

#include "Corvid/Client.h"

OdbPrepareStatement::OdbPrepareStatement(Corvid::Client::DataSource* dataSource,
                                         const char16_t* databaseName,
                                         const char16_t* statementText)
    : _pStatement(dataSource->createPrepareStatement(ModUnicodeString(databaseName),
                                                     ModUnicodeString(statementText))) {}

OdbPrepareStatement::~OdbPrepareStatement() {
  if (_pStatement != nullptr) {
    _pStatement->release();
    _pStatement = nullptr;
  }
}

Corvid::Client::PrepareStatement* OdbPrepareStatement::GetPrepareStatement() {
  return _pStatement;
}
