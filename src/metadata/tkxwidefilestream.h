#pragma once

#include "thandlestream.h"

#include <QString>

namespace vantora {

// Open modes: the low two bits select the access (0 read, 1 write, 2 read and write), bits 4-7 the
// sharing (0 compatible, 1 exclusive, 2 deny write, 3 deny read, 4 deny none); 0xFFFF creates.
constexpr quint16 fmCreate = 0xFFFF;
constexpr quint16 fmOpenRead = 0x0000;
constexpr quint16 fmOpenWrite = 0x0001;
constexpr quint16 fmOpenReadWrite = 0x0002;
constexpr quint16 fmShareCompat = 0x0000;
constexpr quint16 fmShareExclusive = 0x0010;
constexpr quint16 fmShareDenyWrite = 0x0020;
constexpr quint16 fmShareDenyRead = 0x0030;
constexpr quint16 fmShareDenyNone = 0x0040;

constexpr int INVALID_HANDLE_VALUE = -1;

// The four characters "\\?\" that mark a long path.
QString LongPathPrefix();
// The name with the long-path prefix in front, unless it already carries it.
QString WithLongPathPrefix(const QString &name);
// The path the system is given for a name: the prefix taken off again (paths here have no length
// limit it would lift) and a relative name made absolute.
QString SystemPathOfWideName(const QString &name);

// Whether file names reach the system unconverted. Paths here are UTF-8, which carries every character.
bool IsWideApiSystem();
extern const bool UseWideApi;

// Creates the file or empties an existing one, read and write, no sharing. INVALID_HANDLE_VALUE on
// failure; error then holds the system's code.
int CreateFileByWideName(const QString &name, int &error);
int CreateFileByWideName(const QString &name);
// Opens an existing file with the access and sharing of the mode. Sharing is an advisory lock: no
// sharing and deny read lock exclusively, deny write and deny none share the lock. A mode with access
// bits above 2 or sharing above 4 is refused without a system call.
int OpenFileByWideName(const QString &name, quint16 mode, int &error);
int OpenFileByWideName(const QString &name, quint16 mode);
// True for an existing file, false for a folder or a missing name.
bool WideFileExists(const QString &name);

// A file stream opened by a name that may hold any character. Construction raises EFOpenError
// ("ファイル "%s". %s は開けません") when the file cannot be opened or created.
class TKxWideFileStream final : public THandleStream
{
public:
    TKxWideFileStream(const QString &fileName, quint16 mode);
    ~TKxWideFileStream() override;
    TKxWideFileStream(const TKxWideFileStream &) = delete;
    TKxWideFileStream &operator=(const TKxWideFileStream &) = delete;

    QString FileName() const { return m_fileName; }

private:
    QString m_fileName;
};

} // namespace vantora
