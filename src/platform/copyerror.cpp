#include "platform/copyerror.h"

#include <cerrno>

namespace vantora {

namespace {

// The Windows codes the messages have always shown for the three failures the transfer acts on.
constexpr int WindowsFileExists = 80;       // ERROR_FILE_EXISTS
constexpr int WindowsDiskFull = 112;        // ERROR_DISK_FULL
constexpr int WindowsRequestAborted = 1235; // ERROR_REQUEST_ABORTED

} // namespace

CopyError CopyError::fromErrno(int error)
{
    if (error == 0)
        return {};
    if (error == ENOSPC || error == EDQUOT)
        return {DiskFull, error};
    return {Other, error};
}

CopyError CopyError::exists()
{
    return {Exists, EEXIST};
}

CopyError CopyError::cancelled()
{
    return {Cancelled, ECANCELED};
}

int CopyError::shownNumber() const
{
    switch (kind) {
    case None:
        return 0;
    case Exists:
        return WindowsFileExists;
    case DiskFull:
        return WindowsDiskFull;
    case Cancelled:
        return WindowsRequestAborted;
    case Other:
        break;
    }
    return errnoValue;
}

} // namespace vantora
