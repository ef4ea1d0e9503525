#include "core/trace/TraceConfigFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// A logging configuration is a few lines; anything this large is not one.
constexpr off_t kMaxConfigSize = 1 << 20;

bool IsAcceptable(const struct stat& st)
{
    if (!S_ISREG(st.st_mode)) {
        return false;
    }
    if (st.st_uid != geteuid() && st.st_uid != 0) {
        return false;
    }
    return (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0) close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};
}  // namespace

TraceConfigStatus LoadTraceConfigFile(const char* pszPath, std::string& strContent)
{
    strContent.clear();
    if (pszPath == nullptr || pszPath[0] == '\0') {
        return TraceConfigStatus::Absent;
    }
    struct stat stPath {};
    if (lstat(pszPath, &stPath) != 0 || !IsAcceptable(stPath)) {
        return TraceConfigStatus::Absent;
    }
    // O_NOFOLLOW and the identity check below close the gap between the
    // lstat and the open: what is read is the file that was checked.
    FileDescriptor file(open(pszPath, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.Get() < 0) {
        return TraceConfigStatus::Unreadable;
    }
    struct stat stOpen {};
    if (fstat(file.Get(), &stOpen) != 0) {
        return TraceConfigStatus::Unreadable;
    }
    if (stOpen.st_dev != stPath.st_dev || stOpen.st_ino != stPath.st_ino || !IsAcceptable(stOpen)) {
        return TraceConfigStatus::Absent;
    }
    if (stOpen.st_size > kMaxConfigSize) {
        return TraceConfigStatus::Unreadable;
    }

    std::string strData;
    char buf[4096];
    for (;;) {
        ssize_t n = read(file.Get(), buf, sizeof(buf));
        if (n < 0) {
            if (errno == EINTR) continue;
            return TraceConfigStatus::Unreadable;
        }
        if (n == 0) break;
        strData.append(buf, static_cast<size_t>(n));
        if (strData.size() > static_cast<size_t>(kMaxConfigSize)) {
            return TraceConfigStatus::Unreadable;
        }
    }
    strContent.swap(strData);
    return TraceConfigStatus::Loaded;
}
