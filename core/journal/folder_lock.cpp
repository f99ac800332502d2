#include "journal/folder_lock.h"

#include <vector>

#include "journal/journal.h"
#include "text/message.h"

namespace zentor {

FolderLock::FolderLock(FolderLock&& other) noexcept {
    *this = std::move(other);
}

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
    if (this == &other) return *this;
    Release();
#ifdef _WIN32
    handle_ = other.handle_;
    other.handle_ = nullptr;
#else
    fd_ = other.fd_;
    other.fd_ = -1;
#endif
    status_ = other.status_;
    detail_ = std::move(other.detail_);
    other.status_ = Status::Error;
    return *this;
}

std::string FolderLockContent(const std::string& program, const std::string& command) {
    return program + ";" + command + ";" + std::to_string(CurrentProcessId()) + ";" +
           ComputerName() + ";" + JournalTimeNow();
}

std::string DescribeFolderLockHolder(const std::string& content) {
    std::vector<std::string> f(1);
    for (char c : content) {
        if (c == ';')
            f.emplace_back();
        else if (c != '\r' && c != '\n')
            f.back() += c;
    }
    f.resize(5);
    std::string text = f[0];
    if (!f[1].empty()) text += (text.empty() ? "" : " ") + f[1];
    auto add = [&](const Message& m) {
        if (m.args.front().empty()) return;
        if (!text.empty()) text += ", ";
        text += Render(m);
    };
    add(ZT("lock.process", "процесс {0}", f[2]));
    add(ZT("lock.computer", "компьютер {0}", f[3]));
    add(ZT("lock.since", "с {0}", f[4]));
    return text.empty() ? Render(ZT("lock.unknown", "неизвестный процесс")) : text;
}

}  // namespace zentor
