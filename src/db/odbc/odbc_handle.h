#pragma once
// Ownership of ODBC handles and the one place that turns their diagnostics into EDatabaseError.
// The handles are plain pointers here so that sql.h stays inside the provider's .cpp files.

#include <QString>
#include <memory>

/// Frees an environment, connection or statement handle with SQLFreeHandle.
struct TOdbcHandleDeleter {
    short HandleType = 0;
    void operator()(void* handle) const;
};
using TOdbcHandlePtr = std::unique_ptr<void, TOdbcHandleDeleter>;

/// Allocates a handle of `handleType` under `parent` (nullptr for the environment); raises on failure.
TOdbcHandlePtr AllocOdbcHandle(short handleType, void* parent);

/// All diagnostic records of a handle, their texts joined by line breaks, trailing blanks removed.
struct TOdbcDiag {
    QString Message;
    QString SqlState;
    int NativeCode = 0;
};
TOdbcDiag ReadOdbcDiag(short handleType, void* handle);

/// Raises the handle's diagnostics as EDatabaseError; when the driver left no record, the text says
/// which call failed, so the user never sees an empty message.
[[noreturn]] void ThrowOdbcError(short handleType, void* handle, const QString& call, int returnCode);
