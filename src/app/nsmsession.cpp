#include "app/nsmsession.h"

#include "ui/mainform.h"
#include "ui/sessionstate.h"
#include "ui/toolkit.h"

#include <cstdlib>
#include <ostream>
#include <unistd.h>

namespace {
// How often the sound and the settings are compared with the saved ones.
constexpr int kCheckMs = 250;
} // namespace

NsmSession::NsmSession(const std::string& program, std::ostream& notes)
    : program_(program), notes_(notes) {
    connect(&check_, &QTimer::timeout, this, [this] { ShowDirty(); });
}

std::unique_ptr<NsmSession> NsmSession::FromEnvironment(const std::string& executable,
                                                        const std::string& program,
                                                        std::ostream& notes) {
    const char* url = std::getenv("NSM_URL");
    if (!url || !*url) return nullptr;
    std::unique_ptr<NsmSession> session(new NsmSession(program, notes));
    NsmSession* self = session.get();
    std::string why;
    // On liblo's thread: only a hand-over to the GUI thread.
    session->client_ = NsmClient::Connect(
        url,
        [self](const NsmRequest& request) {
            QMetaObject::invokeMethod(
                self, [self, request] { self->Handle(request); }, Qt::QueuedConnection);
        },
        why);
    if (session->client_ &&
        !session->client_->Announce(kApplicationTitle, executable, static_cast<int>(getpid())))
        why = std::string("the session manager at NSM_URL '") + url + "' can't be reached";
    else if (session->client_)
        return session;
    notes << program << ": " << why << "; going on without session management\n";
    return nullptr;
}

NsmSession::~NsmSession() {
    client_.reset(); // no request comes after this
    state_.reset();
}

void NsmSession::Attach(TFormMain* form) {
    form_ = form;
    if (!form_) {
        check_.stop();
        state_.reset(); // it holds on to the window
        return;
    }
    const std::vector<NsmRequest> waiting = std::move(waiting_);
    waiting_.clear();
    for (const NsmRequest& request : waiting)
        Handle(request);
}

void NsmSession::Note(const std::string& text) {
    notes_ << program_ << ": " << text << "\n" << std::flush;
}

void NsmSession::Handle(const NsmRequest& request) {
    switch (request.kind) {
    case NsmRequest::Kind::Welcome:
        Note("in a session of " + request.text);
        break;
    case NsmRequest::Kind::Refused:
        Note("the session manager refused VI 801: " + request.text);
        break;
    case NsmRequest::Kind::Open:
        if (!form_)
            waiting_.push_back(request);
        else if (state_)
            client_->Fail(NsmClient::kOpenPath, nsm_error::kNotNow,
                          "VI 801 opens one session per run");
        else
            Open(request);
        break;
    case NsmRequest::Kind::Save:
        if (state_)
            Save();
        else
            client_->Fail(NsmClient::kSavePath, nsm_error::kNoSessionOpen, "no session is open");
        break;
    case NsmRequest::Kind::Loaded:
        break;
    }
}

// The reply comes once the folder's sound and settings are applied.
void NsmSession::Open(const NsmRequest& request) {
    state_ = std::make_unique<SessionState>(*form_, request.path,
                                            [this](const std::string& note) { Note(note); });
    try {
        state_->Open();
        client_->Reply(NsmClient::kOpenPath, "Opened " + request.path);
    } catch (const SessionError& error) {
        if (error.What() == SessionError::Kind::Create) {
            state_.reset();
            client_->Fail(NsmClient::kOpenPath, nsm_error::kCreateFailed, error.what());
            return;
        }
        Note(error.what());
        client_->Fail(NsmClient::kOpenPath, nsm_error::kBadProject, error.what());
    }
    shownDirty_ = false;
    check_.start(kCheckMs);
}

void NsmSession::Save() {
    try {
        state_->Save();
        client_->Reply(NsmClient::kSavePath, "Saved");
    } catch (const SessionError& error) {
        Note(error.what());
        client_->Fail(NsmClient::kSavePath, nsm_error::kGeneral, error.what());
    }
    ShowDirty();
}

void NsmSession::ShowDirty() {
    const bool dirty = state_ && state_->Changed();
    if (dirty == shownDirty_) return;
    shownDirty_ = dirty;
    client_->ShowDirty(dirty);
}
