#pragma once
// A session manager of the test's own: an OSC server on a free UDP port of
// this process that keeps what its client sends and answers as a manager
// does. Polled from the test's thread; no thread of its own.
#include <lo/lo.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <vector>

class FakeSessionManager {
public:
    struct Message {
        std::string path;
        std::vector<std::string> args; // integers written in decimal
    };

    FakeSessionManager() {
        server_ = lo_server_new_with_proto(nullptr, LO_UDP, nullptr);
        if (server_)
            lo_server_add_method(server_, nullptr, nullptr, &FakeSessionManager::Keep, this);
    }
    ~FakeSessionManager() {
        if (client_) lo_address_free(client_);
        if (server_) lo_server_free(server_);
    }
    FakeSessionManager(const FakeSessionManager&) = delete;
    FakeSessionManager& operator=(const FakeSessionManager&) = delete;

    bool Ok() const { return server_ != nullptr; }
    // What NSM_URL says: osc.udp://host:port/
    std::string Url() const {
        char* url = lo_server_get_url(server_);
        std::string text = url ? url : "";
        std::free(url);
        return text;
    }

    // The first message with this path not taken yet, once it came; the
    // ones before it stay for later.
    std::optional<Message> WaitFor(const std::string& path, int ms = 20000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            for (auto it = kept_.begin(); it != kept_.end(); ++it)
                if (it->path == path) {
                    Message found = *it;
                    kept_.erase(it);
                    return found;
                }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return std::nullopt;
            lo_server_recv_noblock(server_,
                                   static_cast<int>(std::min<long long>(left.count(), 100)));
        }
    }
    // Whether a message with this path came, waiting ms for one.
    bool Got(const std::string& path, int ms) { return WaitFor(path, ms).has_value(); }
    // Everything kept and not taken.
    std::vector<Message> Pending(int ms = 0) {
        if (ms > 0) lo_server_recv_noblock(server_, ms);
        while (lo_server_recv_noblock(server_, 0) > 0) {
        }
        return {kept_.begin(), kept_.end()};
    }

    // To the client whose message came last (the announce's socket).
    void Welcome() {
        lo_send_from(client_, server_, LO_TT_IMMEDIATE, "/reply", "ssss", "/nsm/server/announce",
                     "Welcome", "Test Session Manager", ":server-control:");
    }
    void Refuse() {
        lo_send_from(client_, server_, LO_TT_IMMEDIATE, "/error", "sis", "/nsm/server/announce", -2,
                     "Incompatible API version");
    }
    void Open(const std::string& path, const std::string& display, const std::string& id) {
        lo_send_from(client_, server_, LO_TT_IMMEDIATE, "/nsm/client/open", "sss", path.c_str(),
                     display.c_str(), id.c_str());
    }
    void Save() { lo_send_from(client_, server_, LO_TT_IMMEDIATE, "/nsm/client/save", ""); }
    void Loaded() {
        lo_send_from(client_, server_, LO_TT_IMMEDIATE, "/nsm/client/session_is_loaded", "");
    }
    // Where the client's messages come from.
    int ClientPort() const { return client_ ? std::atoi(lo_address_get_port(client_)) : 0; }

private:
    static int Keep(const char* path, const char* types, lo_arg** argv, int argc, lo_message msg,
                    void* data) {
        auto* self = static_cast<FakeSessionManager*>(data);
        Message m{path, {}};
        // Arguments sit at 4-byte steps, under the union's alignment.
        for (int i = 0; i < argc; ++i) {
            const char* at = reinterpret_cast<const char*>(argv[i]);
            int32_t number = 0;
            if (types[i] == LO_INT32) std::memcpy(&number, at, sizeof number);
            m.args.push_back(types[i] == LO_STRING  ? std::string(at)
                             : types[i] == LO_INT32 ? std::to_string(number)
                                                    : std::string("?"));
        }
        self->kept_.push_back(m);
        if (lo_address source = lo_message_get_source(msg)) {
            char* url = lo_address_get_url(source);
            if (self->client_) lo_address_free(self->client_);
            self->client_ = lo_address_new_from_url(url);
            std::free(url);
        }
        return 0;
    }

    lo_server server_ = nullptr;
    lo_address client_ = nullptr;
    std::deque<Message> kept_;
};
