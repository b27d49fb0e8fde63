#pragma once

#include <QString>

#include <stdexcept>

namespace vantora {

// Base of the errors the stream and the Exif reader raise; what() is the message in UTF-8.
class Exception : public std::runtime_error
{
public:
    explicit Exception(const QString &message) : std::runtime_error(message.toStdString()), m_message(message)
    {
    }
    QString Message() const { return m_message; }

private:
    QString m_message;
};

class EStreamError : public Exception
{
public:
    using Exception::Exception;
};

// A read that could not deliver every byte asked for.
class EReadError final : public EStreamError
{
public:
    using EStreamError::EStreamError;
};

class EWriteError final : public EStreamError
{
public:
    using EStreamError::EStreamError;
};

// A file that could not be opened or created.
class EFOpenError final : public EStreamError
{
public:
    using EStreamError::EStreamError;
};

} // namespace vantora
