// Stored passwords: decrypting any text (Base64 decoding included) and the round trips.

#include "fuzz_support.h"

#include "config/base64.h"
#include "config/password.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QList<QByteArray> parts = SplitInput(data, size, '\n', 2);
    const QString stored = FuzzText(parts[0]);
    const QString passPhrase = FuzzText(parts[1]);

    (void)DecryptPassword(stored, QString());
    (void)DecryptPassword(stored, passPhrase);

    // Decoding is lenient, encoding canonical: the decoded bytes come back from their own text.
    const TSecretBytes bytes = Base64Decode(stored);
    const TSecretBytes again = Base64Decode(Base64Encode(bytes.Data(), bytes.Size()));
    FUZZ_CHECK(again.Size() == bytes.Size());
    FUZZ_CHECK(bytes.Size() == 0 || std::memcmp(again.Data(), bytes.Data(), bytes.Size()) == 0);

    // Any password comes back from its stored value, under the built-in and a given pass phrase.
    const QString password = stored.left(64);
    FUZZ_CHECK(DecryptPassword(EncryptPassword(password, QString()), QString()) == password);
    if (!passPhrase.isEmpty())
        FUZZ_CHECK(DecryptPassword(EncryptPassword(password, passPhrase), passPhrase) == password);
    return 0;
}
