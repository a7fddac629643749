// The shared database list, its write flags and its tear-down together with
// the pooled provider sessions of each connection.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "FakeProvider.h"
#include "LogCapture.h"
#include "TestSupport.h"

namespace {

using fake::PooledSession;
using fake::SqlLikeDataSource;

class DatabaseListTest : public ::testing::Test {
 protected:
  // Also stops an already empty list in the tests that emptied it.
  void TearDown() override {
    OdbDataSource::StopDataSource2();
    EXPECT_EQ(SqlLikeDataSource::list().count, 0);
    EXPECT_EQ(SqlLikeDataSource::list().head, nullptr);
    EXPECT_EQ(PooledSession::list().listCount, 0);
    EXPECT_EQ(fake::liveObjects.load(), 0) << "a provider object was not released";
  }

  static std::unique_ptr<SqlLikeDataSource> connect(const GUID& provider, const char16_t* server,
                                                    const char16_t* catalog,
                                                    const char16_t* user = u"sa") {
    auto ds = std::make_unique<SqlLikeDataSource>(provider);
    EXPECT_EQ(ds->Initialize(server, catalog, user, u"secret"), S_OK);
    return ds;
  }

  static bool logged(const tavtest::LogCapture& capture, const std::string& text) {
    return std::ranges::count(capture.texts(), text) > 0;
  }

  fake::ProviderRegistration _provider;
};

TEST_F(DatabaseListTest, SameServerAndCatalogShareOneConnectionWhateverTheUser) {
  auto first = connect(CLSID_SQLOLEDB, u"db1", u"docs", u"alice");
  auto second = connect(CLSID_SQLOLEDB, u"db1", u"docs", u"bob");
  ASSERT_EQ(SqlLikeDataSource::list().count, 1);
  DatabaseElement* element = first->element();
  ASSERT_NE(element, nullptr);
  EXPECT_EQ(second->element(), element);
  EXPECT_EQ(element->useCount, 2);
  EXPECT_EQ(element->bFTS, 0);

  IDBInitialize* shared = first->GetIDBInitialize();
  IDBInitialize* same = second->GetIDBInitialize();
  EXPECT_EQ(shared, same);
  // The element, both data sources and the two calls above.
  EXPECT_EQ(static_cast<fake::DBInitialize*>(shared)->references(), 5u);
  shared->Release();
  same->Release();

  second->SetWriteF(1);  // the flag lives in the shared element
  EXPECT_EQ(first->GetWriteF(), 1);
}

TEST_F(DatabaseListTest, StopDataSourceRemovesOnlyTheMatchingKey) {
  tavtest::LogCapture capture;
  auto sql = connect(CLSID_SQLOLEDB, u"db1", u"docs");
  auto fullText = connect(CLSID_TavFullTextProvider, u"db1", u"docs");
  auto other = connect(CLSID_SQLOLEDB, u"db2", u"docs");
  // Provider kind and server each make an element of their own, in order.
  EXPECT_EQ(fullText->IsFTS(), TAV_TRUE);
  EXPECT_EQ(sql->IsFTS(), TAV_FALSE);
  EXPECT_EQ(fullText->element()->bFTS, 1);
  EXPECT_EQ(SqlLikeDataSource::list().head, sql->element());
  EXPECT_EQ(sql->element()->next, fullText->element());
  EXPECT_EQ(other->element()->prev, fullText->element());
  EXPECT_EQ(SqlLikeDataSource::list().tail, other->element());

  OdbDataSource::StopDataSource(CLSID_SQLOLEDB, u"db9", u"docs");
  EXPECT_EQ(SqlLikeDataSource::list().count, 3);
  EXPECT_FALSE(logged(capture, "OdbDataSource::Terminate:  element still in use1"));

  IDBInitialize* connection = sql->GetIDBInitialize();
  OdbDataSource::StopDataSource(CLSID_SQLOLEDB, u"db1", u"docs");
  EXPECT_EQ(SqlLikeDataSource::list().count, 2);
  EXPECT_EQ(SqlLikeDataSource::list().head, fullText->element());
  EXPECT_EQ(fullText->element()->prev, nullptr);
  EXPECT_TRUE(logged(capture, "OdbDataSource::Terminate:  element still in use1"));
  auto* fakeConnection = static_cast<fake::DBInitialize*>(connection);
  EXPECT_EQ(fakeConnection->uninitializeCalls, 1);
  // Only the data source's own reference and this test's remain.
  EXPECT_EQ(fakeConnection->references(), 2u);
  connection->Release();

  OdbDataSource::StopDataSource(CLSID_TavFullTextProvider, u"db1", u"docs");
  EXPECT_EQ(SqlLikeDataSource::list().count, 1);
  EXPECT_EQ(SqlLikeDataSource::list().head, other->element());
  EXPECT_EQ(SqlLikeDataSource::list().tail, other->element());
}

TEST_F(DatabaseListTest, FailingUninitializeIsLoggedAndTheElementStillGoes) {
  tavtest::LogCapture capture;
  auto ds = connect(CLSID_SQLOLEDB, u"db1", u"docs");
  IDBInitialize* connection = ds->GetIDBInitialize();
  static_cast<fake::DBInitialize*>(connection)->failUninitialize = true;
  OdbDataSource::StopDataSource2();
  EXPECT_EQ(SqlLikeDataSource::list().count, 0);
  EXPECT_TRUE(logged(capture, "Someone forget to Release IDBInitialize:" +
                                  std::to_string(static_cast<int32_t>(DB_E_OBJECTOPEN))));
  connection->Release();
}

TEST_F(DatabaseListTest, TearDownStopsThePooledSessionsOfItsConnectionOnly) {
  tavtest::LogCapture capture;
  auto docs = connect(CLSID_SQLOLEDB, u"db1", u"docs");
  auto archive = connect(CLSID_SQLOLEDB, u"db1", u"archive");
  IDBInitialize* docsConnection = docs->GetIDBInitialize();
  IDBInitialize* archiveConnection = archive->GetIDBInitialize();

  auto idle = std::make_unique<PooledSession>();
  idle->addElement(docsConnection);
  auto busy = std::make_unique<PooledSession>();
  busy->addElement(docsConnection);
  auto elsewhere = std::make_unique<PooledSession>();
  elsewhere->addElement(archiveConnection);
  idle.reset();  // gives its element back: idle in the pool
  ASSERT_EQ(PooledSession::list().listCount, 3);
  EXPECT_EQ(PooledSession::list().head->isBusy, 0);

  OdbDataSource::StopDataSource(CLSID_SQLOLEDB, u"db1", u"docs");
  EXPECT_EQ(PooledSession::list().listCount, 1);
  EXPECT_EQ(PooledSession::list().head, elsewhere->element());
  EXPECT_EQ(PooledSession::list().tail, elsewhere->element());
  EXPECT_EQ(elsewhere->element()->prev, nullptr);
  EXPECT_TRUE(logged(capture, "SessionElement still in use"));

  // The busy session's element was unlinked, not freed; it goes with the
  // session.
  ASSERT_NE(busy->element(), nullptr);
  EXPECT_EQ(busy->element()->isOrphan, 1);
  EXPECT_EQ(busy->element()->pIDBCreateCommand, nullptr);
  busy.reset();
  elsewhere.reset();
  docsConnection->Release();
  archiveConnection->Release();
}

TEST_F(DatabaseListTest, ListDumpStopsAfterTheLimit) {
  auto ds = connect(CLSID_SQLOLEDB, u"db1", u"docs");
  IDBInitialize* connection = ds->GetIDBInitialize();
  std::vector<std::unique_ptr<PooledSession>> sessions;
  for (int i = 0; i < 5; ++i) {
    sessions.push_back(std::make_unique<PooledSession>());
    sessions.back()->addElement(connection);
  }
  tavtest::LogCapture capture;
  sessions.front()->writeSlist(2);
  const auto texts = capture.texts();
  ASSERT_EQ(texts.size(), 5u);
  EXPECT_EQ(texts[0], "_slist.listCount = 5");
  EXPECT_NE(texts[3].find("; element->isBusy = 1; element->pIDBInitialize = "), std::string::npos);
  EXPECT_EQ(texts[4], "element number exceeds limit:2");

  capture.clear();
  sessions.front()->writeSlist(0);
  EXPECT_EQ(capture.texts().size(), 6u);

  sessions.clear();
  OdbDataSource::StopDataSource2();
  capture.clear();
  PooledSession().writeSlist(0);
  EXPECT_EQ(capture.texts(), std::vector<std::string>{"_slist is NULL"});
  connection->Release();
}

}  // namespace
