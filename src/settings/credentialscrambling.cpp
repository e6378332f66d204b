#include "settings/credentialscrambling.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/rand.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

namespace {

constexpr std::size_t kBlockSize = 16;
// Far beyond any user name or password; keeps every length within OpenSSL's int arguments.
constexpr std::size_t kMaxCipherLength = INT_MAX / 2;

struct CipherDeleter {
    void operator()(EVP_CIPHER* cipher) const { EVP_CIPHER_free(cipher); }
};
struct CipherContextDeleter {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using Cipher = std::unique_ptr<EVP_CIPHER, CipherDeleter>;
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextDeleter>;

using AesKey = std::array<unsigned char, 32>;

// The key bytes are the 32 characters of the lowercase hex MD5 digest of the key string, not
// the 16 raw digest bytes: that is how every stored value has been made.
bool deriveKey(std::string_view keyString, AesKey& key) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    if (EVP_Digest(keyString.data(), keyString.size(), digest, &digestLength, EVP_md5(), nullptr) !=
            1 ||
        digestLength * 2 != key.size())
        return false;
    constexpr char kHexDigits[] = "0123456789abcdef";
    for (unsigned int i = 0; i < digestLength; ++i) {
        key[2 * i] = kHexDigits[digest[i] >> 4];
        key[2 * i + 1] = kHexDigits[digest[i] & 0x0F];
    }
    return true;
}

// AES-256-CBC with ciphertext stealing, variant CS2 (plain CBC when the length is a multiple of
// the block size), over the whole input in one call; out gets as many bytes as in has.
// Inputs shorter than one block are refused.
bool runCbcCs2(bool encrypt, const AesKey& key, const unsigned char* iv, const unsigned char* in,
               std::size_t length, unsigned char* out) {
    if (length < kBlockSize || length > kMaxCipherLength)
        return false;
    const Cipher cipher(EVP_CIPHER_fetch(nullptr, "AES-256-CBC-CTS", nullptr));
    const CipherContext context(EVP_CIPHER_CTX_new());
    if (!cipher || !context)
        return false;
    char mode[] = OSSL_CIPHER_CTS_MODE_CS2;
    const OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_CIPHER_PARAM_CTS_MODE, mode, 0),
        OSSL_PARAM_construct_end(),
    };
    if (EVP_CipherInit_ex2(context.get(), cipher.get(), key.data(), iv, encrypt ? 1 : 0, params) !=
        1)
        return false;
    int written = 0;
    if (EVP_CipherUpdate(context.get(), out, &written, in, static_cast<int>(length)) != 1 ||
        written != static_cast<int>(length))
        return false;
    int finalWritten = 0;
    return EVP_CipherFinal_ex(context.get(), out + written, &finalWritten) == 1 &&
           finalWritten == 0;
}

unsigned sextetOf(char character) {
    if (character >= 'A' && character <= 'Z')
        return static_cast<unsigned>(character - 'A');
    if (character >= 'a' && character <= 'z')
        return static_cast<unsigned>(character - 'a') + 26;
    if (character >= '0' && character <= '9')
        return static_cast<unsigned>(character - '0') + 52;
    if (character == '+')
        return 62;
    if (character == '/')
        return 63;
    return 0;  // "=" and anything a hand-edited file may hold
}

}  // namespace

namespace detail {

std::string scrambleCredentialWithIv(std::string_view text, std::string_view key,
                                     const CredentialIv& iv) {
    if (text.empty() || text.size() >= kMaxCipherLength)
        return {};
    try {
        AesKey aesKey{};
        if (!deriveKey(key, aesKey))
            return {};
        // At least one zero byte after the text: unscrambling cuts there.
        const std::size_t plainLength = std::max(text.size() + 1, kBlockSize);
        std::vector<unsigned char> plain(plainLength, 0);
        std::copy(text.begin(), text.end(), plain.begin());

        std::vector<unsigned char> stored(kBlockSize + plainLength);
        std::copy(iv.begin(), iv.end(), stored.begin());
        const bool encrypted = runCbcCs2(true, aesKey, iv.data(), plain.data(), plainLength,
                                         stored.data() + kBlockSize);
        OPENSSL_cleanse(plain.data(), plain.size());
        OPENSSL_cleanse(aesKey.data(), aesKey.size());
        if (!encrypted)
            return {};

        std::string encoded(4 * ((stored.size() + 2) / 3) + 1, '\0');
        const int encodedLength = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                                                  stored.data(), static_cast<int>(stored.size()));
        if (encodedLength < 0)
            return {};
        encoded.resize(static_cast<std::size_t>(encodedLength));
        return encoded;
    } catch (const std::bad_alloc&) {
        return {};
    }
}

std::string decodeBase64Leniently(std::string_view text) {
    if (text.size() % 4 != 0)
        return {};
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 4; ++k)
            group = (group << 6) | sextetOf(text[i + k]);
        bytes += static_cast<char>(group >> 16);
        if (text[i + 2] == '=')
            continue;
        bytes += static_cast<char>((group >> 8) & 0xFF);
        if (text[i + 3] == '=')
            continue;
        bytes += static_cast<char>(group & 0xFF);
    }
    return bytes;
}

}  // namespace detail

std::string scrambleCredential(std::string_view text, std::string_view key) {
    if (text.empty())
        return {};
    detail::CredentialIv iv{};
    // Without random bytes the value is still stored, only with a zero IV.
    if (RAND_bytes(iv.data(), static_cast<int>(iv.size())) != 1)
        iv.fill(0);
    return detail::scrambleCredentialWithIv(text, key, iv);
}

std::string unscrambleCredential(std::string_view stored, std::string_view key) {
    if (stored.empty())
        return {};
    try {
        const std::string decoded = detail::decodeBase64Leniently(stored);
        if (decoded.size() < 2 * kBlockSize)
            return {};
        AesKey aesKey{};
        if (!deriveKey(key, aesKey))
            return {};
        const auto* bytes = reinterpret_cast<const unsigned char*>(decoded.data());
        const std::size_t cipherLength = decoded.size() - kBlockSize;
        std::string plain(cipherLength, '\0');
        const bool decrypted = runCbcCs2(false, aesKey, bytes, bytes + kBlockSize, cipherLength,
                                         reinterpret_cast<unsigned char*>(plain.data()));
        OPENSSL_cleanse(aesKey.data(), aesKey.size());
        if (!decrypted)
            return {};
        plain.resize(std::min(plain.find('\0'), plain.size()));
        return plain;
    } catch (const std::bad_alloc&) {
        return {};
    }
}
