#include "db/odbc/odbc_handle.h"

#include "db/db_error.h"

#include <QStringList>

#ifdef _WIN32
#include <windows.h> // sql.h needs its types
#endif
#include <sql.h>
#include <sqlext.h>

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "ODBC wide characters must be UTF-16");

void TOdbcHandleDeleter::operator()(void* handle) const
{
    if (handle)
        SQLFreeHandle(HandleType, handle);
}

TOdbcHandlePtr AllocOdbcHandle(short handleType, void* parent)
{
    SQLHANDLE handle = SQL_NULL_HANDLE;
    SQLRETURN rc = SQLAllocHandle(handleType, parent ? parent : SQL_NULL_HANDLE, &handle);
    if (!SQL_SUCCEEDED(rc)) {
        if (parent) {
            short parentType = handleType == SQL_HANDLE_STMT ? SQL_HANDLE_DBC : SQL_HANDLE_ENV;
            ThrowOdbcError(parentType, parent, QStringLiteral("SQLAllocHandle"), rc);
        }
        throw EDatabaseError(QStringLiteral("Der ODBC-Treibermanager ist nicht verfügbar (SQLAllocHandle)."));
    }
    return TOdbcHandlePtr(handle, TOdbcHandleDeleter{handleType});
}

TOdbcDiag ReadOdbcDiag(short handleType, void* handle)
{
    TOdbcDiag diag;
    if (!handle)
        return diag;
    for (SQLSMALLINT record = 1;; ++record) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLWCHAR text[2048];
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRecW(handleType, handle, record, state, &native, text,
                                      SQLSMALLINT(std::size(text)), &length);
        if (!SQL_SUCCEEDED(rc))
            break;
        int chars = qBound(0, int(length), int(std::size(text)) - 1);
        QString message = QString::fromUtf16(reinterpret_cast<const char16_t*>(text), chars).trimmed();
        if (record == 1) {
            diag.SqlState = QString::fromUtf16(reinterpret_cast<const char16_t*>(state), 5);
            diag.NativeCode = native;
        }
        if (!message.isEmpty() && !diag.Message.split(u'\n').contains(message))
            diag.Message += (diag.Message.isEmpty() ? QString() : QStringLiteral("\n")) + message;
        if (record >= 20)
            break;
    }
    return diag;
}

void ThrowOdbcError(short handleType, void* handle, const QString& call, int returnCode)
{
    TOdbcDiag diag = ReadOdbcDiag(handleType, handle);
    if (diag.Message.isEmpty())
        diag.Message = QStringLiteral("Der ODBC-Treiber meldet einen Fehler ohne Text (%1, Rückgabewert %2).")
                           .arg(call)
                           .arg(returnCode);
    // Class 08 is a broken or missing link to the server.
    bool broken = diag.SqlState.startsWith(QStringLiteral("08"));
    throw EDatabaseError(diag.Message, diag.SqlState, diag.NativeCode, broken);
}
