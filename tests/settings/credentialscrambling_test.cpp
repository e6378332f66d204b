#include "settings/credentialscrambling.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "settings/storedtext.h"

namespace {

using Bytes = std::vector<unsigned char>;

// The AES keys of the two key strings: lowercase hex of their MD5 digests, taken from md5sum.
constexpr std::string_view kCredentialAesKey = "f6e7dd3c988d2f183bff3a394c651e5b";
constexpr char kOtherKey[] = "Falcon Ridge 12";

struct CipherContextDeleter {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextDeleter>;

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

std::string textOf(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

detail::CredentialIv ivFromSeed(unsigned seed) {
    detail::CredentialIv iv{};
    std::mt19937 random(seed);
    for (auto& byte : iv)
        byte = static_cast<unsigned char>(random());
    return iv;
}

// One AES-256 block, the only thing taken from OpenSSL for the reference below.
Bytes aesBlock(bool encrypt, std::string_view aesKey, const Bytes& block) {
    const CipherContext context(EVP_CIPHER_CTX_new());
    Bytes out(32);
    int written = 0;
    const bool ok = context &&
                    EVP_CipherInit_ex(context.get(), EVP_aes_256_ecb(), nullptr,
                                      reinterpret_cast<const unsigned char*>(aesKey.data()),
                                      nullptr, encrypt ? 1 : 0) == 1 &&
                    EVP_CIPHER_CTX_set_padding(context.get(), 0) == 1 &&
                    EVP_CipherUpdate(context.get(), out.data(), &written, block.data(), 16) == 1;
    EXPECT_TRUE(ok);
    EXPECT_EQ(written, 16);
    out.resize(16);
    return out;
}

Bytes xorBlocks(const Bytes& a, const Bytes& b) {
    Bytes result(16);
    for (std::size_t i = 0; i < 16; ++i)
        result[i] = a[i] ^ b[i];
    return result;
}

Bytes blockAt(const Bytes& bytes, std::size_t offset) {
    Bytes block(16, 0);
    std::copy(bytes.begin() + offset, bytes.begin() + std::min(offset + 16, bytes.size()),
              block.begin());
    return block;
}

// CBC with ciphertext stealing CS2, block by block as NIST writes it.
Bytes referenceEncrypt(std::string_view aesKey, const detail::CredentialIv& iv,
                       const Bytes& plain) {
    const std::size_t fullBlocks = plain.size() / 16;
    const std::size_t rest = plain.size() % 16;
    Bytes previous(iv.begin(), iv.end());
    Bytes cipher;
    const std::size_t chained = rest == 0 ? fullBlocks : fullBlocks - 1;
    for (std::size_t i = 0; i < chained; ++i) {
        previous = aesBlock(true, aesKey, xorBlocks(blockAt(plain, 16 * i), previous));
        cipher.insert(cipher.end(), previous.begin(), previous.end());
    }
    if (rest > 0) {
        const Bytes y =
            aesBlock(true, aesKey, xorBlocks(blockAt(plain, 16 * (fullBlocks - 1)), previous));
        const Bytes z = aesBlock(true, aesKey, xorBlocks(y, blockAt(plain, 16 * fullBlocks)));
        cipher.insert(cipher.end(), z.begin(), z.end());
        cipher.insert(cipher.end(), y.begin(), y.begin() + static_cast<std::ptrdiff_t>(rest));
    }
    return cipher;
}

Bytes referenceDecrypt(std::string_view aesKey, const Bytes& iv, const Bytes& cipher) {
    const std::size_t fullBlocks = cipher.size() / 16;
    const std::size_t rest = cipher.size() % 16;
    Bytes previous = iv;
    Bytes plain;
    const std::size_t chained = rest == 0 ? fullBlocks : fullBlocks - 1;
    for (std::size_t i = 0; i < chained; ++i) {
        const Bytes block = blockAt(cipher, 16 * i);
        const Bytes p = xorBlocks(aesBlock(false, aesKey, block), previous);
        plain.insert(plain.end(), p.begin(), p.end());
        previous = block;
    }
    if (rest > 0) {
        const Bytes z = blockAt(cipher, 16 * (fullBlocks - 1));
        const Bytes decryptedZ = aesBlock(false, aesKey, z);
        Bytes y = blockAt(cipher, 16 * fullBlocks);
        std::copy(decryptedZ.begin() + static_cast<std::ptrdiff_t>(rest), decryptedZ.end(),
                  y.begin() + static_cast<std::ptrdiff_t>(rest));
        const Bytes lastFull = xorBlocks(aesBlock(false, aesKey, y), previous);
        const Bytes partial = xorBlocks(decryptedZ, y);
        plain.insert(plain.end(), lastFull.begin(), lastFull.end());
        plain.insert(plain.end(), partial.begin(),
                     partial.begin() + static_cast<std::ptrdiff_t>(rest));
    }
    return plain;
}

// Strict Base64 decoding by OpenSSL, for well-formed stored texts.
Bytes decodeStandard(std::string_view text) {
    Bytes bytes(text.size() / 4 * 3 + 3);
    const int length =
        EVP_DecodeBlock(bytes.data(), reinterpret_cast<const unsigned char*>(text.data()),
                        static_cast<int>(text.size()));
    EXPECT_GE(length, 0) << text;
    const auto padding = static_cast<int>(text.size() - text.find_last_not_of('=') - 1);
    bytes.resize(static_cast<std::size_t>(std::max(length - padding, 0)));
    return bytes;
}

std::string encodeStandard(const Bytes& bytes) {
    std::string text(bytes.size() / 3 * 4 + 5, '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), bytes.data(),
                                       static_cast<int>(bytes.size()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

// Text of the given length without zero bytes, different in every position.
std::string sampleText(std::size_t length) {
    std::string text;
    for (std::size_t i = 0; i < length; ++i)
        text += static_cast<char>(1 + (i * 37 + 11) % 255);
    return text;
}

std::string cutAtZero(const Bytes& bytes) {
    const auto zero = std::find(bytes.begin(), bytes.end(), 0);
    return std::string(bytes.begin(), zero);
}

bool inBase64Alphabet(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/' || c == '=';
}

// ---------------------------------------------------------------------------------------------

TEST(CredentialCipher, MatchesCbcWithCiphertextStealingBuiltFromSingleBlocks) {
    for (const std::size_t length : {1, 15, 16, 17, 31, 32, 33, 47, 48, 100}) {
        SCOPED_TRACE(length);
        const std::string text = sampleText(length);
        const auto iv = ivFromSeed(static_cast<unsigned>(length));
        const std::string stored = detail::scrambleCredentialWithIv(text, credentialKey, iv);

        Bytes plain = bytesOf(text);
        plain.resize(std::max<std::size_t>(length + 1, 16), 0);
        Bytes expected(iv.begin(), iv.end());
        const Bytes cipher = referenceEncrypt(kCredentialAesKey, iv, plain);
        expected.insert(expected.end(), cipher.begin(), cipher.end());

        EXPECT_EQ(decodeStandard(stored), expected);
        EXPECT_EQ(unscrambleCredential(stored, credentialKey), text);
    }
}

TEST(CredentialCipher, ReadsValuesMadeBlockByBlockElsewhere) {
    // Made outside this program from the same block-by-block definition, IV 00 01 ... 0F.
    EXPECT_EQ(
        unscrambleCredential("AAECAwQFBgcICQoLDA0OD2SZKbpCKKF2SwWbJI4ClYTgYUurjF8I", credentialKey),
        "ftp-nutzer@beispiel.de");
    EXPECT_EQ(unscrambleCredential("AAECAwQFBgcICQoLDA0OD/BFbNDsfjq4DVN7yChjYS8=", credentialKey),
              "J\xFCrgen");
    EXPECT_EQ(unscrambleCredential("AAECAwQFBgcICQoLDA0OD6gHAU1luxV7FYftvjeGujI=", credentialKey),
              "J\xC3\xBCrgen Gr\xC3\xB6\xC3\x9F"
              "e");

    detail::CredentialIv counting{};
    for (std::size_t i = 0; i < counting.size(); ++i)
        counting[i] = static_cast<unsigned char>(i);
    EXPECT_EQ(detail::scrambleCredentialWithIv("ftp-nutzer@beispiel.de", credentialKey, counting),
              "AAECAwQFBgcICQoLDA0OD2SZKbpCKKF2SwWbJI4ClYTgYUurjF8I");
}

TEST(CredentialCipher, KeyStringSelectsTheKey) {
    const auto iv = ivFromSeed(7);
    const std::string stored = detail::scrambleCredentialWithIv("geheim", kOtherKey, iv);
    EXPECT_EQ(unscrambleCredential(stored, kOtherKey), "geheim");
    EXPECT_NE(stored, detail::scrambleCredentialWithIv("geheim", credentialKey, iv));

    Bytes plain = bytesOf("geheim");
    plain.resize(16, 0);
    const Bytes cipher = decodeStandard(stored);
    EXPECT_EQ(Bytes(cipher.begin() + 16, cipher.end()),
              referenceEncrypt("cb3566f42cc643e78edaa79ef1d6a84f", iv, plain));
}

// ---------------------------------------------------------------------------------------------

TEST(CredentialStoredForm, LengthGrowsByFourCharactersPerThreeBytes) {
    for (std::size_t length = 1; length <= 22; ++length) {
        SCOPED_TRACE(length);
        const std::size_t expected = length <= 16 ? 44 : length <= 19 ? 48 : 52;
        EXPECT_EQ(scrambleCredential(sampleText(length), credentialKey).size(), expected);
    }
    // Long values stay on one line.
    const std::string stored = scrambleCredential(std::string(200, 'p'), credentialKey);
    EXPECT_EQ(stored.size(), 4u * ((16 + 201 + 2) / 3));
    EXPECT_TRUE(std::all_of(stored.begin(), stored.end(), inBase64Alphabet)) << stored;
    EXPECT_EQ(unscrambleCredential(stored, credentialKey), std::string(200, 'p'));
}

TEST(CredentialStoredForm, EmptyStaysEmpty) {
    EXPECT_EQ(scrambleCredential("", credentialKey), "");
    EXPECT_EQ(detail::scrambleCredentialWithIv("", credentialKey, ivFromSeed(1)), "");
    EXPECT_EQ(unscrambleCredential("", credentialKey), "");
}

TEST(CredentialStoredForm, EveryScramblingHasItsOwnIv) {
    const std::string first = scrambleCredential("kamera-upload", credentialKey);
    const std::string second = scrambleCredential("kamera-upload", credentialKey);
    EXPECT_NE(first, second);
    const Bytes firstBytes = decodeStandard(first);
    const Bytes secondBytes = decodeStandard(second);
    EXPECT_FALSE(std::equal(firstBytes.begin(), firstBytes.begin() + 16, secondBytes.begin()));
    EXPECT_EQ(unscrambleCredential(first, credentialKey), "kamera-upload");
    EXPECT_EQ(unscrambleCredential(second, credentialKey), "kamera-upload");
}

// ---------------------------------------------------------------------------------------------

TEST(CredentialRoundTrip, TextsComeBackByteForByte) {
    std::string everyByte;
    for (int code = 1; code < 256; ++code)
        everyByte += static_cast<char>(code);
    const std::vector<std::string> texts{
        "a",
        "ftpuser",
        "abcdefghijklmno",   // 15 bytes: one block exactly
        "abcdefghijklmnop",  // 16 bytes: one block and one stolen byte
        "abcdefghijklmnopq",
        "p@ss w0rd!\"$%&/()=?`'#+*~\\",
        "J\xC3\xBCrgen Gr\xC3\xB6\xC3\x9F"
        "e \xC3\xA4\xC3\xB6\xC3\xBC \xE2\x82\xAC",  // UTF-8 with umlauts and the euro sign
        "J\xFCrgen Gr\xF6\xDF"
        "e \xE4\xF6\xFC \x80",  // the same as Windows-1252 bytes
        everyByte,
        std::string(1000, 'x'),
    };
    for (const std::string& text : texts) {
        EXPECT_EQ(unscrambleCredential(scrambleCredential(text, credentialKey), credentialKey),
                  text)
            << text;
    }
}

TEST(CredentialRoundTrip, ZeroIvStillRoundTrips) {
    // What is stored when the random source gives nothing.
    const std::string stored = detail::scrambleCredentialWithIv("nutzer", credentialKey, {});
    EXPECT_EQ(stored.substr(0, 21), std::string(21, 'A'));
    EXPECT_EQ(unscrambleCredential(stored, credentialKey), "nutzer");
}

TEST(CredentialRoundTrip, TextEndsAtAnEmbeddedZeroByte) {
    const std::string text("vor\0nach", 8);
    EXPECT_EQ(unscrambleCredential(scrambleCredential(text, credentialKey), credentialKey), "vor");
}

// ---------------------------------------------------------------------------------------------

TEST(CredentialUnusableValue, RemovingAnyCharacterGivesEmpty) {
    for (const std::string text : {"user", "ein etwas laengeres Passwort"}) {
        const std::string stored = scrambleCredential(text, credentialKey);
        for (std::size_t i = 0; i < stored.size(); ++i) {
            std::string damaged = stored;
            damaged.erase(i, 1);
            EXPECT_EQ(unscrambleCredential(damaged, credentialKey), "") << damaged;
        }
    }
}

TEST(CredentialUnusableValue, PlainTextTypedIntoTheFileShorterThan44CharactersGivesEmpty) {
    const std::string letters = "meinFTPzugangMitEinemSehrLangenNamenUndMehr1234";
    for (std::size_t length = 1; length < 44; ++length) {
        EXPECT_EQ(unscrambleCredential(letters.substr(0, length), credentialKey), "") << length;
    }
    EXPECT_EQ(unscrambleCredential("ftpuser", credentialKey), "");
    EXPECT_EQ(unscrambleCredential("geheim12", credentialKey), "");
}

TEST(CredentialUnusableValue, LessThanAnIvAndOneBlockGivesEmpty) {
    std::mt19937 random(3);
    for (std::size_t length = 1; length < 32; ++length) {
        Bytes bytes(length);
        for (auto& byte : bytes)
            byte = static_cast<unsigned char>(1 + random() % 255);
        EXPECT_EQ(unscrambleCredential(encodeStandard(bytes), credentialKey), "") << length;
    }
}

TEST(CredentialUnusableValue, OtherKeyStringGivesOtherBytesCutAtTheFirstZero) {
    int cutShort = 0;
    for (unsigned seed = 0; seed < 300; ++seed) {
        const std::string text =
            seed % 2 == 0 ? "fremder-nutzer" : "ein Passwort mit 30 Zeichen!!!";
        const std::string stored =
            detail::scrambleCredentialWithIv(text, kOtherKey, ivFromSeed(seed));
        const Bytes bytes = decodeStandard(stored);
        const Bytes plain =
            referenceDecrypt(kCredentialAesKey, Bytes(bytes.begin(), bytes.begin() + 16),
                             Bytes(bytes.begin() + 16, bytes.end()));
        const std::string expected = cutAtZero(plain);
        if (expected.size() < plain.size())
            ++cutShort;
        const std::string read = unscrambleCredential(stored, credentialKey);
        EXPECT_EQ(read, expected) << seed;
        EXPECT_NE(read, text) << seed;
    }
    EXPECT_GT(cutShort, 0);  // the seeds above do reach a zero byte
}

TEST(CredentialUnusableValue, DamagedValuesNeverCrash) {
    std::mt19937 random(2024);
    const std::string pieces =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/===== "
        "\r\n\t!-_.\xC3\xA4\xFF";
    for (int round = 0; round < 4000; ++round) {
        std::string stored;
        const std::size_t length = random() % 4 == 0 ? 4 * (random() % 30) : random() % 120;
        for (std::size_t i = 0; i < length; ++i)
            stored += pieces[random() % pieces.size()];
        const std::string read = unscrambleCredential(stored, credentialKey);
        EXPECT_EQ(read.find('\0'), std::string::npos);
        if (length % 4 != 0 || length < 44)
            EXPECT_EQ(read, "") << stored;
        else
            EXPECT_LE(read.size(), length / 4 * 3 - 16);
        textFromStoredBytes(read);
    }
    // A good value with characters replaced, "=" among them.
    const std::string good = scrambleCredential("ein Passwort von 24 Byte", credentialKey);
    for (int round = 0; round < 2000; ++round) {
        std::string stored = good;
        for (int changes = 1 + static_cast<int>(random() % 4); changes > 0; --changes)
            stored[random() % stored.size()] = "=!\xFF"[random() % 3];
        const std::string read = unscrambleCredential(stored, credentialKey);
        EXPECT_LE(read.size(), good.size() / 4 * 3 - 16);
    }
}

// ---------------------------------------------------------------------------------------------

TEST(CredentialBase64, DecodesWhatOpenSslEncodes) {
    std::mt19937 random(11);
    for (std::size_t length = 0; length < 64; ++length) {
        Bytes bytes(length);
        for (auto& byte : bytes)
            byte = static_cast<unsigned char>(random());
        EXPECT_EQ(detail::decodeBase64Leniently(encodeStandard(bytes)), textOf(bytes)) << length;
    }
}

TEST(CredentialBase64, EqualsSignsShortenTheirOwnGroup) {
    EXPECT_EQ(detail::decodeBase64Leniently("QUJD"), "ABC");
    EXPECT_EQ(detail::decodeBase64Leniently("QUI="), "AB");
    EXPECT_EQ(detail::decodeBase64Leniently("QQ=="), "A");
    EXPECT_EQ(detail::decodeBase64Leniently("QU=D"), "A");  // third "=" alone decides
    // Padding in the middle ends only that group.
    EXPECT_EQ(detail::decodeBase64Leniently("QQ==QUJD"), "AABC");
    EXPECT_EQ(detail::decodeBase64Leniently("QUI=QUI="), "ABAB");
    // "=" in the first two places is just a zero.
    EXPECT_EQ(detail::decodeBase64Leniently("=UJD"), detail::decodeBase64Leniently("AUJD"));
    EXPECT_EQ(detail::decodeBase64Leniently("===="), std::string(1, '\0'));
}

TEST(CredentialBase64, CharactersOutsideTheAlphabetCountAsZero) {
    EXPECT_EQ(detail::decodeBase64Leniently("Q!JD"), detail::decodeBase64Leniently("QAJD"));
    EXPECT_EQ(detail::decodeBase64Leniently("\xFF\x80 \n"), std::string(3, '\0'));
    EXPECT_EQ(detail::decodeBase64Leniently("-_.,"), std::string(3, '\0'));
}

TEST(CredentialBase64, LengthNoMultipleOfFourGivesNothing) {
    EXPECT_EQ(detail::decodeBase64Leniently(""), "");
    EXPECT_EQ(detail::decodeBase64Leniently("QUJ"), "");
    EXPECT_EQ(detail::decodeBase64Leniently("QUJDR"), "");
    EXPECT_EQ(detail::decodeBase64Leniently("QUJD\n"), "");
}

// ---------------------------------------------------------------------------------------------

TEST(CredentialTextFallback, ValuesOfTheWindowsProgramComeBackWithTheirUmlauts) {
    // Scrambled from the Windows-1252 bytes of "Jürgen".
    const std::string read =
        unscrambleCredential("AAECAwQFBgcICQoLDA0OD/BFbNDsfjq4DVN7yChjYS8=", credentialKey);
    EXPECT_EQ(textFromStoredBytes(read), "J\xC3\xBCrgen");
    const std::string utf8 = "J\xC3\xBCrgen";
    EXPECT_EQ(textFromStoredBytes(
                  unscrambleCredential(scrambleCredential(utf8, credentialKey), credentialKey)),
              utf8);
}

}  // namespace
