#pragma once

#include "db/driver.h"
#include "db/odbc/odbc_handle.h"
#include "db/odbc/odbc_types.h"

#include <deque>

class TOdbcDriver;

/// A forward-only result read with SQLFetch and SQLGetData. When the session must run another
/// statement while the result is open and the driver allows only one, the rest is moved to memory.
class TOdbcCursor : public TCursor {
public:
    /// Takes an executed statement; its result columns are described at once.
    TOdbcCursor(TOdbcDriver& driver, TOdbcHandlePtr statement);
    ~TOdbcCursor() override;

    const std::vector<TFieldDef>& Fields() const override { return FFields; }
    bool Fetch(std::vector<QVariant>& row) override;

    /// Reads the remaining rows into memory and frees the statement.
    void Buffer();
    /// The session closes: the statement is freed; a later Fetch raises.
    void Detach();

private:
    bool FetchFromDriver(std::vector<QVariant>& row);
    QVariant ReadValue(size_t index);
    QVariant ReadNative(size_t index, bool& failed);
    QVariant ReadText(size_t index);
    QVariant ReadBinary(size_t index);
    QVariant FromText(size_t index, const QString& text) const;
    void ReleaseStatement();

    TOdbcDriver* FDriver;
    TOdbcHandlePtr FStatement;
    std::vector<TOdbcColumn> FColumns;
    std::vector<bool> FReadAsText; // the driver refused the native C type for this column
    std::vector<TFieldDef> FFields;
    std::deque<std::vector<QVariant>> FBuffered;
    bool FDetached = false;
};
