// The error classes: a base with a message, silent abort, provider and database errors.
#pragma once

#include <QString>
#include <exception>

namespace core {

// Base of every error the program raises; carries the message shown to the user.
class Exception : public std::exception {
public:
    explicit Exception(QString message) : message_(std::move(message)) {}
    const QString& message() const { return message_; }
    const char* what() const noexcept override;

private:
    QString message_;
    mutable QByteArray utf8_;
};

// Silent abort: unwinds like any error but the default error path shows nothing.
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
};

// An error reported by the cursor engine (the provider): the engine's own text with trailing
// blanks, control characters and full stops removed.
class EOleException : public Exception {
public:
    explicit EOleException(const QString& providerMessage);
    // The text cleaned the way provider messages are.
    static QString cleanMessage(const QString& raw);
};

// An error of the record-set layer.
class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

} // namespace core

using core::EAbort;
using core::EDatabaseError;
using core::EOleException;
