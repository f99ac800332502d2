// One running program per user: a second start asks the first one to come forward
// and ends. Windows: a named mutex and WM_USER to the window of the main class;
// elsewhere: a lock file and a local socket.
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

class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& name = QString::fromUtf8(kInstanceName),
                            QObject* parent = nullptr);
    ~SingleInstance() override;

    // True for the first instance, which keeps the name until destroyed. False for a
    // second one: it has asked the first to come forward (and waited for that to be
    // handled) or found no window to ask.
    bool Acquire();
    // Run on the first instance's thread when a second start asks for the window.
    void SetActivationHandler(std::function<void()> handler);

    // Where the name lives on this platform: outside Windows a socket path in
    // tempDir (empty: the system's temporary folder).
    static QString ServerPath(const QString& name, const QString& tempDir = QString());

private:
    QString name_;
    std::function<void()> onActivate_;
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
