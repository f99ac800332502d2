// One running program per user: a second start asks the first one to come forward
// and ends. Windows: a named mutex and WM_USER to the window of the main class;
// elsewhere: a lock file and a local socket in a folder of the user's own
// ($XDG_RUNTIME_DIR, else /tmp with the user id in the name), whatever the
// current folder and TMPDIR. Only a lock held by a running instance of the same
// user counts: a lock that cannot be made lets the program start, with Warning()
// saying why. Acquire waits at most 5 s for the first instance's answer, after
// the second-start handler (which may block in a message box) has returned.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QLocalServer;
class QLockFile;

namespace zentor::gui {

inline constexpr const char* kInstanceName = "ZentorFrom_Halden (unique_mutex_name)";
inline constexpr const char* kMainWindowClass = "TFormZentorFrom_Halden";
inline constexpr const char* kAlreadyRunningText = "Программа уже запущена.";

// What a second start says: the text on standard error and, when `box`, in an
// information box titled `caption`, which waits for the user.
void TellAlreadyRunning(const QString& caption, bool box);

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `folder`: where the lock and socket live (empty: the user's folder above).
    explicit SingleInstance(const QString& name = QString::fromUtf8(kInstanceName),
                            const QString& folder = QString(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // True for the first instance, which keeps the name until destroyed. False for a
    // second one: it has asked the first to come forward (and waited for that to be
    // handled) or found no window to ask.
    bool Acquire();
    // Why no lock protects this start (one line), or empty.
    const QString& Warning() const { return warning_; }
    // Run on the first instance's thread when a second start asks for the window.
    void SetActivationHandler(std::function<void()> handler);
    // Run in a second start once it knows the first is running, before it asks
    // that one to come forward.
    void SetSecondStartHandler(std::function<void()> handler);

    // Where the name lives on this platform: outside Windows a socket path in
    // folder (empty: the user's folder).
    static QString ServerPath(const QString& name, const QString& folder = QString());

private:
    QString name_;
    QString folder_;
    QString warning_;
    std::function<void()> onActivate_;
    std::function<void()> onSecondStart_;
#ifdef _WIN32
    void* mutex_ = nullptr;
    void* messageWindow_ = nullptr;
#else
    void OnConnection();
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
#endif
};

}  // namespace zentor::gui
