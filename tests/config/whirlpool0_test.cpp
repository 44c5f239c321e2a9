#include "config/whirlpool0.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <string>

namespace {

QByteArray Digest(const std::string& message, std::size_t pieceSize)
{
    TWhirlpool0 hash;
    for (std::size_t i = 0; i < message.size(); i += pieceSize)
        hash.Update(message.data() + i, std::min(pieceSize, message.size() - i));
    std::uint8_t digest[TWhirlpool0::DigestSize];
    hash.Final(digest);
    return QByteArray(reinterpret_cast<const char*>(digest), sizeof digest).toHex();
}

struct TKnownAnswer {
    const char* Message;
    const char* Digest;
};

// Lengths 0 to 80 bytes: short final blocks, final blocks that need an extra block for the length
// (43 and 62 bytes), and a message longer than one block.
const TKnownAnswer kKnownAnswers[] = {
    {"", "b3e1ab6eaf640a34f784593f2074416accd3b8e62c620175fca0997b1ba2347339aa0d79e754c308209ea36811dfa40c1c3"
         "2f1a2"
         "b9004725d987d3635165d3c8"},
    {"a", "f4b620445ae62431dbd6dbcec64d2a3031cd2f48df5e755f30b3d069929ed4b4eda0ae65441bc86746021fb7f2167f84d6"
          "7566ef"
          "aba003f0abb67a42a2ce5b13"},
    {"abc",
     "54ee18b0bbd4dd38a211699f2829793156e5842df502a2a25995c6c541f28cc050ff57d4af772dee7cedcc4c34c3b8ec06446c"
     "6657f2f36c2c06464399879b86"},
    {"message digest",
     "29e158ba336ce7f930115178a6c86019f0f413adb283d8f0798af06ca0a06d6d6f295a333b1c24bda2f429ac918a"
     "3748aef90f7a2c8bfb084d5f979cf4e7b2b5"},
    {"abcdefghijklmnopqrstuvwxyz",
     "5ac9757e1407432daf348a972b8ad4a65c1123cf1f9b779c1ae7ee2d540f30b3cefa8f98dca5fbb4"
     "2084c5c2f161a7b40eb6b4a1fc7f9aaab92a4bb6002edc5e"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "cae4175f09753de84974cfa968621092fe41ee9de913919c2b452e6cb424056721d640e563f628f29dd3bd0030837ae4ac14aa1"
     "7308505"
     "a92e5f7a92f112be75"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "e5965b4565b041a0d459610e5e48e944c4830cd16feba02d9d263e7da8de6a6b88966709bf28a5328d928312e7a172da4cff72f"
     "e6de022"
     "77dae4b1dba49689a2"},
    {"The quick brown fox jumps over the lazy dog", "4f8f5cb531e3d49a61cf417cd133792ccfa501fd8da53ee368fed20e"
                                                    "5fe0248c3a0b64f98a6533cee1da614c3a8ddec791ff05fee6d971"
                                                    "d57c1348320f4eb42d"},
};

TEST(Whirlpool0, KnownAnswers)
{
    for (const TKnownAnswer& answer : kKnownAnswers)
        EXPECT_EQ(Digest(answer.Message, 1000), QByteArray(answer.Digest)) << '"' << answer.Message << '"';
}

TEST(Whirlpool0, PiecewiseUpdatesGiveTheSameDigest)
{
    for (const TKnownAnswer& answer : kKnownAnswers)
        for (std::size_t piece : {1, 3, 7, 63, 64, 65})
            EXPECT_EQ(Digest(answer.Message, piece), QByteArray(answer.Digest))
                << '"' << answer.Message << "\" in pieces of " << piece;
}

TEST(Whirlpool0, InitStartsAFreshMessage)
{
    TWhirlpool0 hash;
    std::uint8_t digest[TWhirlpool0::DigestSize];
    hash.Update("some other text", 15);
    hash.Final(digest);
    hash.Init();
    hash.Update("abc", 3);
    hash.Final(digest);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(digest), sizeof digest).toHex(),
              QByteArray(kKnownAnswers[2].Digest));
}

} // namespace
