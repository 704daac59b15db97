#include "filewrite.h"

#include "numtext.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace mvx {

namespace {
std::atomic<unsigned> gTempCounter{0};

bool fail(const std::string& path, std::string* error)
{
    if (error) *error = path + ": " + std::strerror(errno);
    return false;
}
}  // namespace

bool WriteWholeFile(const std::string& path, std::string_view data, std::string* error)
{
    const std::string temp =
        path + ".tmp" + num::integer(::getpid()) + "_" + num::integer(gTempCounter.fetch_add(1, std::memory_order_relaxed));
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return fail(path, error);
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int saved = errno ? errno : EIO;
            ::close(fd);
            ::unlink(temp.c_str());
            errno = saved;
            return fail(path, error);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) {
        const int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        return fail(path, error);
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        return fail(path, error);
    }
    return true;
}

void FirstFileFailure::Report(const std::string& fileName, std::string error)
{
    const std::size_t digits = fileName.find_first_of("0123456789");
    const long long number = digits == std::string::npos ? 0 : std::atoll(fileName.c_str() + digits);
    std::lock_guard lock(mMutex);
    if (mNumber < 0 || number < mNumber) {
        mNumber = number;
        mError = std::move(error);
    }
}

bool FirstFileFailure::Any() const
{
    std::lock_guard lock(mMutex);
    return mNumber >= 0;
}

std::string FirstFileFailure::Error() const
{
    std::lock_guard lock(mMutex);
    return mError;
}

}  // namespace mvx
