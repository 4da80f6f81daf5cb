#pragma once
// A run under a session manager (NSM_URL set): the program announces itself,
// opens the session's folder in the main window, saves it when asked and
// tells the manager whether it holds unsaved changes. Requests arrive on
// liblo's thread and are handled here, on the GUI thread, one at a time.
#include "app/nsmclient.h"

#include <QObject>
#include <QTimer>

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

class SessionState;
class TFormMain;

class NsmSession : public QObject {
public:
    // Needs the application. Null when NSM_URL is unset, and when it names
    // no manager that can be reached, which `notes` is told after "program: ".
    static std::unique_ptr<NsmSession>
    FromEnvironment(const std::string& executable, const std::string& program, std::ostream& notes);
    ~NsmSession() override;

    // The window a session opens in; requests wait until it is there.
    // Null before the window goes.
    void Attach(TFormMain* form);

private:
    NsmSession(const std::string& program, std::ostream& notes);
    void Handle(const NsmRequest& request);
    void Open(const NsmRequest& request);
    void Save();
    void ShowDirty();
    void Note(const std::string& text);

    std::unique_ptr<NsmClient> client_;
    std::string program_;
    std::ostream& notes_;
    TFormMain* form_ = nullptr;
    std::vector<NsmRequest> waiting_;
    std::unique_ptr<SessionState> state_;
    QTimer check_;
    bool shownDirty_ = false;
};
