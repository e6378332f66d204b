#pragma once

#include <array>
#include <string>
#include <string_view>

// Key string for the FTP user name and password in the settings file. It is part of the
// program, so the scrambling only keeps the values from being read at a glance; it is not
// protection against anyone who has the program.
inline constexpr char credentialKey[] = "Kestrel Hollow 47";

// Turns a text (its bytes as they are) into the stored form: Base64 of a random 16-byte IV
// followed by the AES-256-CBC ciphertext (ciphertext stealing, CS2) of the text with at least
// one zero byte after it, zero-padded to 16 bytes. Empty text, or no memory: empty result.
std::string scrambleCredential(std::string_view text, std::string_view key);

// Turns a stored form back into the text bytes, up to the first zero byte. Empty when the
// stored form is empty or too short to hold an IV and one block. Nothing proves that the key
// or the value is the right one: a wrong key or an altered value gives arbitrary bytes.
std::string unscrambleCredential(std::string_view stored, std::string_view key);

namespace detail {

using CredentialIv = std::array<unsigned char, 16>;

// scrambleCredential with a given IV instead of a random one.
std::string scrambleCredentialWithIv(std::string_view text, std::string_view key,
                                     const CredentialIv& iv);

// Base64 decoding that never refuses: groups of four characters give three bytes, one byte
// when the third character is "=", two when only the fourth is; any character outside the
// alphabet counts as 0. A length that is no multiple of four gives nothing.
std::string decodeBase64Leniently(std::string_view text);

}  // namespace detail
