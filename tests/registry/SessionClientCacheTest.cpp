// The engine client cache: reuse per key, the key bound, stopping a key with
// busy clients, unpooled clients and clearing.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>

#include "LogCapture.h"
#include "NullSession.h"
#include "TavOdb/OdbSession.h"
#include "TestSupport.h"

namespace {

// The bound is read once per process, before the first client is handed out.
const bool kSessionMaxConfigured = setenv("TavOdbSessionMax", "3", 1) == 0;

std::atomic<int> liveClients{0};

class CountingClient : public SessionClient {
 public:
  CountingClient() { ++liveClients; }
  ~CountingClient() override { --liveClients; }
  int32_t isOpen() override { return opened; }
  void open(const char16_t* databaseName) override {
    isStopRequested = 0;
    ++openCalls;
    database = databaseName;
    opened = 1;
  }
  void close() override { opened = 0; }

  int32_t opened = 0;
  int openCalls = 0;
  std::u16string database;
};

class EngineLikeSession : public NullSession {
 public:
  explicit EngineLikeSession(int32_t poolMode, bool clientsAvailable = true)
      : _clientsAvailable(clientsAvailable) {
    _poolMode = poolMode;
  }
  CountingClient* client() const { return static_cast<CountingClient*>(_pSessionClient); }

 protected:
  SessionClient* CreateSessionClient() override {
    return _clientsAvailable ? new CountingClient : nullptr;
  }

 private:
  bool _clientsAvailable;
};

constexpr int32_t kPooled = 0;
constexpr int32_t kUnpooled = 1;

class SessionClientCacheTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(kSessionMaxConfigured); }
  // Every test leaves clients in the pool: clearing it must close them all.
  void TearDown() override {
    OdbSession::ClearSessionPool();
    EXPECT_EQ(liveClients.load(), 0);
  }
};

TEST_F(SessionClientCacheTest, IdleClientsOfTheSameKeyAreReused) {
  auto first = std::make_unique<EngineLikeSession>(kPooled);
  ASSERT_TAV_OK(first->GetSessionClient(u"engine", u"docs"));
  CountingClient* client = first->client();
  ASSERT_NE(client, nullptr);
  EXPECT_EQ(client->database, u"docs");
  EXPECT_EQ(client->isBusy, 1);

  // A second session of the same key while the first is busy gets its own.
  auto concurrent = std::make_unique<EngineLikeSession>(kPooled);
  ASSERT_TAV_OK(concurrent->GetSessionClient(u"engine", u"docs"));
  EXPECT_NE(concurrent->client(), client);
  concurrent.reset();

  first.reset();
  EXPECT_EQ(client->isBusy, 0);
  EXPECT_EQ(liveClients.load(), 2);

  auto again = std::make_unique<EngineLikeSession>(kPooled);
  ASSERT_TAV_OK(again->GetSessionClient(u"engine", u"docs"));
  EXPECT_EQ(again->client()->openCalls, 1) << "a cached client is not opened again";

  auto otherKey = std::make_unique<EngineLikeSession>(kPooled);
  ASSERT_TAV_OK(otherKey->GetSessionClient(u"engine", u"archive"));
  EXPECT_EQ(otherKey->client()->database, u"archive");
  EXPECT_EQ(liveClients.load(), 3);
}

TEST_F(SessionClientCacheTest, ReachingTheKeyBoundDropsIdleClientsBeforeANewKey) {
  auto busy = std::make_unique<EngineLikeSession>(kPooled);
  ASSERT_TAV_OK(busy->GetSessionClient(u"engine", u"k1"));
  for (const char16_t* key : {u"k2", u"k3"}) {
    EngineLikeSession session(kPooled);
    ASSERT_TAV_OK(session.GetSessionClient(u"engine", key));
  }
  EXPECT_EQ(liveClients.load(), 3);

  auto fourth = std::make_unique<EngineLikeSession>(kPooled);
  ASSERT_TAV_OK(fourth->GetSessionClient(u"engine", u"k4"));
  // k2 and k3 were idle and went; the busy k1 client stays.
  EXPECT_EQ(liveClients.load(), 2);
  EXPECT_EQ(busy->client()->opened, 1);
}

TEST_F(SessionClientCacheTest, StoppingAKeyLeavesBusyClientsWorkingUntilTheirSessionEnds) {
  auto busy = std::make_unique<EngineLikeSession>(kPooled);
  ASSERT_TAV_OK(busy->GetSessionClient(u"engine", u"docs"));
  {
    EngineLikeSession idle(kPooled);
    ASSERT_TAV_OK(idle.GetSessionClient(u"engine", u"docs"));
  }
  EXPECT_EQ(liveClients.load(), 2);

  tavtest::LogCapture capture;
  OdbSession::StopSession(u"engine", u"docs");
  ASSERT_EQ(capture.records().size(), 1u);
  EXPECT_EQ(capture.records()[0].text, "StopSession:Busy[engine][docs]");
  EXPECT_EQ(capture.records()[0].level, ModMessageLevel::Error);
  EXPECT_EQ(liveClients.load(), 1) << "the idle client went, the busy one stays";
  EXPECT_EQ(busy->client()->isStopRequested, 1);
  EXPECT_EQ(busy->client()->opened, 1);

  // The key is gone: a new session gets a new client.
  auto fresh = std::make_unique<EngineLikeSession>(kPooled);
  ASSERT_TAV_OK(fresh->GetSessionClient(u"engine", u"docs"));
  EXPECT_NE(fresh->client(), busy->client());
  EXPECT_EQ(liveClients.load(), 2);
  busy.reset();  // nothing else holds a stopped client: it goes with its session
  EXPECT_EQ(liveClients.load(), 1);

  OdbSession::StopSession(u"engine", u"absent");  // nothing to do
}

TEST_F(SessionClientCacheTest, UnpooledClientsBelongToTheirSession) {
  auto session = std::make_unique<EngineLikeSession>(kUnpooled);
  ASSERT_TAV_OK(session->GetSessionClient(u"engine", u"docs"));
  EXPECT_EQ(session->client()->opened, 1);
  EXPECT_EQ(liveClients.load(), 1);
  session.reset();
  EXPECT_EQ(liveClients.load(), 0);

  EngineLikeSession noClients(kUnpooled, false);
  EXPECT_TAV_RC(TAV_E_SQL_ERROR, noClients.GetSessionClient(u"engine", u"docs"));
  EngineLikeSession noPooledClients(kPooled, false);
  EXPECT_TAV_RC(TAV_E_SQL_ERROR, noPooledClients.GetSessionClient(u"engine", u"docs"));
  EXPECT_EQ(noPooledClients.client(), nullptr);
}

}  // namespace
