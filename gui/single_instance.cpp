#include "single_instance.h"

#include <QMessageBox>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>
#endif

namespace zentor::gui {

namespace {
#ifndef _WIN32
constexpr char kActivate[] = "activate\n";
constexpr char kDone[] = "done\n";
constexpr int kAnswerWaitMs = 5000;
#endif
}  // namespace

SingleInstance::SingleInstance(const QString& name, const QString& folder, QObject* parent)
    : QObject(parent), name_(name), folder_(folder) {}

void SingleInstance::SetActivationHandler(std::function<void()> handler) {
    onActivate_ = std::move(handler);
}

void SingleInstance::SetSecondStartHandler(std::function<void()> handler) {
    onSecondStart_ = std::move(handler);
}

void TellAlreadyRunning(const QString& caption, bool box) {
    const QString text = QString::fromUtf8(kAlreadyRunningText);
    std::fprintf(stderr, "zentor: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
    if (box) QMessageBox::information(nullptr, caption, text);
}

#ifdef _WIN32

namespace {

// A hidden top-level window of the main window's class: the target of FindWindowA and
// WM_USER from a second start.
LRESULT CALLBACK InstanceWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* handler =
        reinterpret_cast<std::function<void()>*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    switch (msg) {
        case WM_USER:
            if (handler && *handler) (*handler)();
            return 0;
        case WM_WINDOWPOSCHANGING:
            // ShowWindow from a second start must not show this helper.
            reinterpret_cast<WINDOWPOS*>(lp)->flags &= ~SWP_SHOWWINDOW;
            break;
        case WM_ACTIVATE:
            // Foreground handed to the helper goes on to the real window.
            if (LOWORD(wp) != WA_INACTIVE && handler && *handler) (*handler)();
            return 0;
        default:
            break;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

}  // namespace

QString SingleInstance::ServerPath(const QString& name, const QString&) {
    return name;
}

bool SingleInstance::Acquire() {
    const QByteArray mutexName = name_.toLocal8Bit();
    SetLastError(0);
    mutex_ = CreateMutexA(nullptr, TRUE, mutexName.constData());
    const DWORD error = GetLastError();
    if (!mutex_ && error != ERROR_ALREADY_EXISTS)
        warning_ =
            QStringLiteral("no single-instance mutex (error %1); starting anyway").arg(error);
    if (error == ERROR_ALREADY_EXISTS) {
        if (mutex_) CloseHandle(mutex_);
        mutex_ = nullptr;
        if (onSecondStart_) onSecondStart_();
        if (HWND other = FindWindowA(kMainWindowClass, nullptr)) {
            SendMessageA(other, WM_USER, 0, 0);
            SetForegroundWindow(other);
            ShowWindow(other, SW_SHOWNORMAL);
        }
        return false;
    }
    WNDCLASSA wc{};
    wc.lpfnWndProc = InstanceWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kMainWindowClass;
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(WS_EX_TOOLWINDOW, kMainWindowClass, "", WS_POPUP, 0, 0, 0, 0,
                                nullptr, nullptr, wc.hInstance, nullptr);
    if (hwnd) SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&onActivate_));
    messageWindow_ = hwnd;
    return true;
}

SingleInstance::~SingleInstance() {
    if (messageWindow_) DestroyWindow(static_cast<HWND>(messageWindow_));
    if (mutex_) {
        ReleaseMutex(mutex_);
        CloseHandle(mutex_);
    }
}

#else

namespace {

// $XDG_RUNTIME_DIR when it is an absolute folder of this user's, else /tmp.
QString UserFolder() {
    const QString runtime = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
    const QFileInfo info(runtime);
    if (!runtime.isEmpty() && info.isAbsolute() && info.isDir() && info.ownerId() == getuid())
        return info.absoluteFilePath();
    return QStringLiteral("/tmp");
}

}  // namespace

QString SingleInstance::ServerPath(const QString& name, const QString& folder) {
    // Socket names keep to plain characters; one name per user.
    QString clean;
    for (QChar c : name)
        clean += (c.isLetterOrNumber() && c.unicode() < 128) || c == QLatin1Char('_') ||
                         c == QLatin1Char('-')
                     ? c
                     : QLatin1Char('_');
    return QDir(folder.isEmpty() ? UserFolder() : folder)
        .filePath(clean + QLatin1Char('-') + QString::number(getuid()));
}

bool SingleInstance::Acquire() {
    const QString path = ServerPath(name_, folder_);
    const QString lockPath = path + QLatin1String(".lock");
    lock_ = std::make_unique<QLockFile>(lockPath);
    // Not stale by age; a lock whose process is gone is taken over.
    lock_->setStaleLockTime(0);
    if (lock_->tryLock(0)) {
        // Any socket left here belongs to an instance that is gone.
        QLocalServer::removeServer(path);
        server_ = new QLocalServer(this);
        server_->setSocketOptions(QLocalServer::UserAccessOption);
        connect(server_, &QLocalServer::newConnection, this, &SingleInstance::OnConnection);
        if (!server_->listen(path))
            warning_ = QStringLiteral("a second start cannot reach this one (%1: %2)")
                           .arg(path, server_->errorString());
        return true;
    }
    const QLockFile::LockError error = lock_->error();
    lock_.reset();
    // Held by a running program, and a lock of this user's: another instance.
    if (error != QLockFile::LockFailedError || QFileInfo(lockPath).ownerId() != getuid()) {
        warning_ = QStringLiteral("no single-instance lock (%1); starting anyway").arg(lockPath);
        return true;
    }

    // Second start: say so, then ask the first instance and wait until it has
    // handled the request.
    if (onSecondStart_) onSecondStart_();
    QLocalSocket socket;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(&socket, &QLocalSocket::disconnected, &loop, &QEventLoop::quit);
    connect(&socket, &QLocalSocket::errorOccurred, &loop, &QEventLoop::quit);
    connect(&socket, &QLocalSocket::readyRead, &loop, [&] {
        if (socket.canReadLine()) loop.quit();
    });
    connect(&socket, &QLocalSocket::connected, &loop,
            [&] { socket.write(kActivate, sizeof kActivate - 1); });
    socket.connectToServer(path);
    deadline.start(kAnswerWaitMs);
    if (socket.state() != QLocalSocket::UnconnectedState) loop.exec();
    return false;
}

void SingleInstance::OnConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) return;
            const QByteArray request = socket->readLine();
            if (request == kActivate && onActivate_) onActivate_();
            socket->write(kDone, sizeof kDone - 1);
            socket->flush();
            socket->disconnectFromServer();
        });
    }
}

SingleInstance::~SingleInstance() {
    if (server_) server_->close();
    if (lock_) lock_->unlock();
}

#endif

}  // namespace zentor::gui
