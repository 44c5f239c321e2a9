// The ODBC connection-string builder and its reader. Input: "key=value" pairs separated by NUL
// bytes for the builder; the whole input, as text, for the reader.

#include "fuzz_support.h"

#include "db/db_error.h"
#include "db/odbc/odbc_connect_string.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray all(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    // Whatever the builder accepts, the reader gives back unchanged: no value adds or changes a key.
    TOdbcParams params;
    for (const QByteArray& pair : all.split('\0')) {
        const qsizetype eq = pair.indexOf('\x02');
        params.append({QString::fromUtf8(pair.left(eq < 0 ? pair.size() : eq)),
                       eq < 0 ? QString() : FuzzText(pair.mid(eq + 1))});
    }
    try {
        const QString built = BuildOdbcConnectString(params);
        const std::optional<TOdbcParams> back = ParseOdbcConnectString(built);
        FUZZ_CHECK(back.has_value());
        FUZZ_CHECK(*back == params);
    } catch (const EDatabaseError&) {
    }

    // A string that reads at all is built again into one that reads the same.
    const std::optional<TOdbcParams> read = ParseOdbcConnectString(FuzzText(all));
    if (read) {
        try {
            const std::optional<TOdbcParams> again = ParseOdbcConnectString(BuildOdbcConnectString(*read));
            FUZZ_CHECK(again.has_value() && *again == *read);
        } catch (const EDatabaseError&) {
            // Keys the reader takes but the builder refuses (outer blanks) are allowed to fail here.
        }
    }
    return 0;
}
