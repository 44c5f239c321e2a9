// The SQLite declared-type parser on any declaration.

#include "fuzz_support.h"

#include "db/sqlite/sqlite_decltype.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString declared =
        FuzzText(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    const TFieldDef def = SQLiteFieldDefFromDeclType(declared);
    FUZZ_CHECK(def.Size >= 0);
    FUZZ_CHECK(def.Scale >= 0);
    FUZZ_CHECK((def.DataType == ftUnknown) == declared.simplified().isEmpty());
    return 0;
}
