#pragma once

#include <QString>
#include <stdexcept>

/// The one error class of the access layer: the database's own message text, unchanged, plus what the
/// caller needs to decide between logging a row and stopping.
class EDatabaseError : public std::runtime_error {
public:
    explicit EDatabaseError(const QString& message, const QString& sqlState = {}, int nativeCode = 0,
                            bool connectionBroken = false);

    QString Message() const { return FMessage; }
    /// SQLSTATE where the system reports one, else empty.
    QString SqlState() const { return FSqlState; }
    int NativeCode() const { return FNativeCode; }
    /// True when the connection is unusable after this error (server gone, socket closed).
    bool ConnectionBroken() const { return FConnectionBroken; }

private:
    QString FMessage;
    QString FSqlState;
    int FNativeCode;
    bool FConnectionBroken;
};
