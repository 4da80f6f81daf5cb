#include "app/nsmclient.h"

#include <lo/lo.h>

#include <string_view>

struct NsmClient::Lo {
    lo_address manager = nullptr;
    lo_server_thread thread = nullptr;
    Deliver deliver;
    ~Lo() {
        if (thread) lo_server_thread_free(thread); // stops and joins it first
        if (manager) lo_address_free(manager);
    }
};

namespace {
// liblo's error handler has no user data: its errors go nowhere, and a
// failure shows as a refused send or a server that is not made.
void IgnoreLoError(int, const char*, const char*) {}

// liblo packs arguments at 4-byte steps, so an lo_arg may sit where its
// union may not be read: a string is read from its first byte instead.
const char* Chars(lo_arg* arg) {
    return reinterpret_cast<const char*>(arg);
}

std::string Text(const char* types, lo_arg** argv, int i) {
    return types[i] == LO_STRING ? std::string(Chars(argv[i])) : std::string();
}

// /reply and /error name the request they answer first; only the announce's
// concern the client.
int OnReply(const char* path, const char* types, lo_arg** argv, int argc, lo_message, void* data) {
    auto* deliver = static_cast<NsmClient::Deliver*>(data);
    if (argc < 1 || Text(types, argv, 0) != "/nsm/server/announce") return 0;
    NsmRequest request;
    if (std::string_view(path) == "/reply") {
        request.kind = NsmRequest::Kind::Welcome;
        request.text = argc >= 3 ? Text(types, argv, 2) : std::string();
    } else {
        request.kind = NsmRequest::Kind::Refused;
        request.text = argc >= 3 ? Text(types, argv, 2) : std::string();
    }
    (*deliver)(request);
    return 0;
}

int OnOpen(const char*, const char*, lo_arg** argv, int, lo_message, void* data) {
    NsmRequest request{NsmRequest::Kind::Open, Chars(argv[0]), Chars(argv[1]), Chars(argv[2]), {}};
    (*static_cast<NsmClient::Deliver*>(data))(request);
    return 0;
}

int OnSave(const char*, const char*, lo_arg**, int, lo_message, void* data) {
    (*static_cast<NsmClient::Deliver*>(data))(NsmRequest{NsmRequest::Kind::Save, {}, {}, {}, {}});
    return 0;
}

int OnLoaded(const char*, const char*, lo_arg**, int, lo_message, void* data) {
    (*static_cast<NsmClient::Deliver*>(data))(NsmRequest{NsmRequest::Kind::Loaded, {}, {}, {}, {}});
    return 0;
}
} // namespace

std::unique_ptr<NsmClient> NsmClient::Connect(const std::string& url, Deliver deliver,
                                              std::string& why) {
    auto lo = std::make_unique<Lo>();
    lo->deliver = std::move(deliver);
    // Replies must come back over the protocol the manager speaks: UDP is
    // the one liblo serves well.
    if (lo_url_get_protocol_id(url.c_str()) != LO_UDP ||
        !(lo->manager = lo_address_new_from_url(url.c_str()))) {
        why = "NSM_URL '" + url + "' is no OSC address over UDP (osc.udp://HOST:PORT/)";
        return nullptr;
    }
    lo->thread = lo_server_thread_new_with_proto(nullptr, LO_UDP, IgnoreLoError);
    if (!lo->thread) {
        why = "no OSC port could be opened to answer the session manager";
        return nullptr;
    }
    void* data = &lo->deliver; // stays put: Lo is on the heap
    lo_server_thread_add_method(lo->thread, "/reply", nullptr, OnReply, data);
    lo_server_thread_add_method(lo->thread, "/error", nullptr, OnReply, data);
    lo_server_thread_add_method(lo->thread, kOpenPath, "sss", OnOpen, data);
    lo_server_thread_add_method(lo->thread, kSavePath, "", OnSave, data);
    lo_server_thread_add_method(lo->thread, "/nsm/client/session_is_loaded", "", OnLoaded, data);
    lo_server_thread_start(lo->thread);
    return std::unique_ptr<NsmClient>(new NsmClient(std::move(lo)));
}

NsmClient::NsmClient(std::unique_ptr<Lo> lo) : lo_(std::move(lo)) {}

NsmClient::~NsmClient() = default;

bool NsmClient::Announce(const std::string& application, const std::string& executable, int pid) {
    return lo_send_from(lo_->manager, lo_server_thread_get_server(lo_->thread), LO_TT_IMMEDIATE,
                        "/nsm/server/announce", "sssiii", application.c_str(), kCapabilities,
                        executable.c_str(), kApiMajor, kApiMinor, pid) >= 0;
}

void NsmClient::Reply(const std::string& path, const std::string& message) {
    lo_send_from(lo_->manager, lo_server_thread_get_server(lo_->thread), LO_TT_IMMEDIATE, "/reply",
                 "ss", path.c_str(), message.c_str());
}

void NsmClient::Fail(const std::string& path, int code, const std::string& message) {
    lo_send_from(lo_->manager, lo_server_thread_get_server(lo_->thread), LO_TT_IMMEDIATE, "/error",
                 "sis", path.c_str(), code, message.c_str());
}

void NsmClient::ShowDirty(bool dirty) {
    lo_send_from(lo_->manager, lo_server_thread_get_server(lo_->thread), LO_TT_IMMEDIATE,
                 dirty ? "/nsm/client/is_dirty" : "/nsm/client/is_clean", "");
}
