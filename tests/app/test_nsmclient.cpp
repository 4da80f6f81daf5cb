// The session manager's client against a manager of the test's own.
#include "app/nsmclient.h"
#include "fakesessionmanager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace {

// What liblo's thread handed on, waited for on the test's.
struct Heard {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<NsmRequest> requests;

    NsmClient::Deliver Deliver() {
        return [this](const NsmRequest& r) {
            std::lock_guard lock(mutex);
            requests.push_back(r);
            changed.notify_all();
        };
    }
    std::optional<NsmRequest> Next(size_t index) {
        std::unique_lock lock(mutex);
        if (!changed.wait_for(lock, std::chrono::seconds(10),
                              [&] { return requests.size() > index; }))
            return std::nullopt;
        return requests[index];
    }
};

using Kind = NsmRequest::Kind;

TEST(NsmClient, AnnouncesItselfThenHandsOnEachRequestAndAnswersFromTheSameSocket) {
    FakeSessionManager manager;
    ASSERT_TRUE(manager.Ok());
    Heard heard;
    std::string why;
    const auto client = NsmClient::Connect(manager.Url(), heard.Deliver(), why);
    ASSERT_TRUE(client) << why;
    ASSERT_TRUE(client->Announce("VI 801", "/usr/bin/vi801", 4242));
    const auto announce = manager.WaitFor("/nsm/server/announce");
    ASSERT_TRUE(announce);
    EXPECT_EQ(announce->args,
              (std::vector<std::string>{"VI 801", ":dirty:", "/usr/bin/vi801", "1", "2", "4242"}));
    const int port = manager.ClientPort();

    struct Case {
        void (*send)(FakeSessionManager&);
        NsmRequest expected;
    };
    const Case cases[] = {
        {[](FakeSessionManager& m) { m.Welcome(); },
         {Kind::Welcome, {}, {}, {}, "Test Session Manager"}},
        {[](FakeSessionManager& m) { m.Refuse(); },
         {Kind::Refused, {}, {}, {}, "Incompatible API version"}},
        {[](FakeSessionManager& m) { m.Open("/s/VI 801.nABC", "VI 801", "VI 801.nABC"); },
         {Kind::Open, "/s/VI 801.nABC", "VI 801", "VI 801.nABC", {}}},
        {[](FakeSessionManager& m) { m.Save(); }, {Kind::Save, {}, {}, {}, {}}},
        {[](FakeSessionManager& m) { m.Loaded(); }, {Kind::Loaded, {}, {}, {}, {}}},
    };
    size_t index = 0;
    for (const Case& c : cases) {
        c.send(manager);
        const auto request = heard.Next(index++);
        ASSERT_TRUE(request) << "request " << index;
        EXPECT_EQ(*request, c.expected) << "request " << index;
    }

    struct Answer {
        void (*send)(NsmClient&);
        FakeSessionManager::Message expected;
    };
    const Answer answers[] = {
        {[](NsmClient& c) { c.Reply(NsmClient::kOpenPath, "Opened"); },
         {"/reply", {"/nsm/client/open", "Opened"}}},
        {[](NsmClient& c) { c.Fail(NsmClient::kSavePath, nsm_error::kGeneral, "disk full"); },
         {"/error", {"/nsm/client/save", "-1", "disk full"}}},
        {[](NsmClient& c) { c.ShowDirty(true); }, {"/nsm/client/is_dirty", {}}},
        {[](NsmClient& c) { c.ShowDirty(false); }, {"/nsm/client/is_clean", {}}},
    };
    for (const Answer& a : answers) {
        a.send(*client);
        const auto got = manager.WaitFor(a.expected.path);
        ASSERT_TRUE(got) << a.expected.path;
        EXPECT_EQ(got->args, a.expected.args) << a.expected.path;
        EXPECT_EQ(manager.ClientPort(), port) << a.expected.path;
    }
}

// Only the announce's reply concerns the client; a message of another shape is left alone.
TEST(NsmClient, IgnoresRepliesToOthersAndMessagesOfTheWrongShape) {
    FakeSessionManager manager;
    Heard heard;
    std::string why;
    const auto client = NsmClient::Connect(manager.Url(), heard.Deliver(), why);
    ASSERT_TRUE(client);
    ASSERT_TRUE(client->Announce("VI 801", "vi801", 1));
    ASSERT_TRUE(manager.WaitFor("/nsm/server/announce"));
    lo_address to = lo_address_new_from_url(
        ("osc.udp://localhost:" + std::to_string(manager.ClientPort()) + "/").c_str());
    lo_send(to, "/reply", "ss", "/nsm/server/list", "a session");
    lo_send(to, "/nsm/client/open", "s", "/only/a/path");
    lo_send(to, "/nsm/client/save", "i", 3);
    lo_address_free(to);
    manager.Save(); // a well-formed one last: everything before it was read
    const auto first = heard.Next(0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->kind, Kind::Save);
}

TEST(NsmClient, AnAddressThatIsNoUdpOscAddressIsRefusedWithAReason) {
    for (const char* url : {"", "session manager", "osc.tcp://localhost:4000/", "http://x/"}) {
        std::string why;
        EXPECT_FALSE(NsmClient::Connect(
            url, [](const NsmRequest&) {}, why))
            << url;
        EXPECT_NE(why.find("NSM_URL '" + std::string(url) + "'"), std::string::npos) << why;
    }
}

} // namespace
