#include "tkxwidefilestream.h"

#include "exception.h"

#include "platform/nativefile.h"

#include <QDir>
#include <QFileInfo>

namespace vantora {

QString LongPathPrefix()
{
    return QStringLiteral("\\\\?\\");
}

QString WithLongPathPrefix(const QString &name)
{
    return name.startsWith(LongPathPrefix()) ? name : LongPathPrefix() + name;
}

QString SystemPathOfWideName(const QString &name)
{
    QString path = name.startsWith(LongPathPrefix()) ? name.mid(LongPathPrefix().size()) : name;
    if (path.isEmpty())
        return path;
    return QFileInfo(path).absoluteFilePath();
}

bool IsWideApiSystem()
{
    return true;
}

const bool UseWideApi = IsWideApiSystem();

int CreateFileByWideName(const QString &name, int &error)
{
    const QString path = SystemPathOfWideName(WithLongPathPrefix(name));
    if (path.isEmpty()) {
        error = nativeInvalidArgument();
        return INVALID_HANDLE_VALUE;
    }
    return openNativeFile(path, NativeFileAccess::ReadWrite, NativeFileLock::Exclusive, true, error);
}

int CreateFileByWideName(const QString &name)
{
    int error = 0;
    return CreateFileByWideName(name, error);
}

int OpenFileByWideName(const QString &name, quint16 mode, int &error)
{
    const int access = mode & 0x3;
    const int sharing = mode & 0xF0;
    if (access > 2 || sharing > fmShareDenyNone) {
        error = nativeInvalidArgument();
        return INVALID_HANDLE_VALUE;
    }
    const QString path = SystemPathOfWideName(WithLongPathPrefix(name));
    if (path.isEmpty()) {
        error = nativeInvalidArgument();
        return INVALID_HANDLE_VALUE;
    }
    const NativeFileAccess a = access == 0   ? NativeFileAccess::Read
                               : access == 1 ? NativeFileAccess::Write
                                             : NativeFileAccess::ReadWrite;
    // Locks cannot say "others may write but not read", so deny read locks like no sharing.
    const NativeFileLock lock = sharing == fmShareDenyWrite || sharing == fmShareDenyNone
                                    ? NativeFileLock::Shared
                                    : NativeFileLock::Exclusive;
    return openNativeFile(path, a, lock, false, error);
}

int OpenFileByWideName(const QString &name, quint16 mode)
{
    int error = 0;
    return OpenFileByWideName(name, mode, error);
}

bool WideFileExists(const QString &name)
{
    return nativeRegularFileExists(SystemPathOfWideName(name));
}

namespace {

int openStreamHandle(const QString &fileName, quint16 mode)
{
    int error = 0;
    const int handle =
        mode == fmCreate ? CreateFileByWideName(fileName, error) : OpenFileByWideName(fileName, mode, error);
    if (handle < 0) {
        const QString shown = QDir::toNativeSeparators(SystemPathOfWideName(fileName));
        throw EFOpenError(
            QStringLiteral("ファイル \"%1\". %2 は開けません").arg(shown, nativeErrorText(error)));
    }
    return handle;
}

} // namespace

TKxWideFileStream::TKxWideFileStream(const QString &fileName, quint16 mode)
    : THandleStream(openStreamHandle(fileName, mode)), m_fileName(fileName)
{
}

TKxWideFileStream::~TKxWideFileStream()
{
    if (m_handle >= 0)
        closeNativeFile(m_handle);
}

} // namespace vantora
