#pragma once
// A session manager's client, over OSC (liblo): when NSM_URL names a session
// manager, the program announces itself there and takes its requests to open
// a session's folder and to save it. Quitting is SIGTERM, which the program
// already obeys.
//
// liblo's thread only reads a request and hands it on; replies and the dirty
// state are sent from the caller's thread, always through the socket the
// announce went out of, as the manager tells its clients apart by it. No Qt.
#include <functional>
#include <memory>
#include <string>

struct NsmRequest {
    enum class Kind {
        Welcome, // the manager took the announce; text: its name
        Refused, // it refused the announce; text: why
        Open,    // path, displayName, clientId
        Save,    //
        Loaded,  // every client of the session is there
    };
    Kind kind = Kind::Welcome;
    std::string path, displayName, clientId;
    std::string text;
    bool operator==(const NsmRequest&) const = default;
};

// The manager's error codes a client replies with.
namespace nsm_error {
constexpr int kGeneral = -1;
constexpr int kNoSessionOpen = -6;
constexpr int kNotNow = -8;
constexpr int kBadProject = -9;
constexpr int kCreateFailed = -10;
} // namespace nsm_error

class NsmClient {
public:
    // Runs on liblo's thread: hand the request on, touch nothing else.
    using Deliver = std::function<void(const NsmRequest&)>;

    static constexpr int kApiMajor = 1, kApiMinor = 2;
    // The program knows when it has unsaved changes; it opens one session per run.
    static constexpr const char* kCapabilities = ":dirty:";
    static constexpr const char* kOpenPath = "/nsm/client/open";
    static constexpr const char* kSavePath = "/nsm/client/save";

    // Null when url is no OSC address of a server that can be reached over
    // UDP; `why` then says so.
    static std::unique_ptr<NsmClient> Connect(const std::string& url, Deliver deliver,
                                              std::string& why);
    ~NsmClient();
    NsmClient(const NsmClient&) = delete;
    NsmClient& operator=(const NsmClient&) = delete;

    // executable: the name the program was started by (argv[0]).
    bool Announce(const std::string& application, const std::string& executable, int pid);
    // /reply and /error to a request named by its path.
    void Reply(const std::string& path, const std::string& message);
    void Fail(const std::string& path, int code, const std::string& message);
    // /nsm/client/is_dirty or /nsm/client/is_clean.
    void ShowDirty(bool dirty);

private:
    struct Lo;
    explicit NsmClient(std::unique_ptr<Lo> lo);
    std::unique_ptr<Lo> lo_;
};
