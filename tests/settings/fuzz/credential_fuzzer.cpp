// Any text as a stored credential, and the text it gives back scrambled and read again.

#include <cstdint>
#include <string>
#include <string_view>

#include "settings/credentialscrambling.h"
#include "settings/storedtext.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    textFromStoredBytes(unscrambleCredential(input, credentialKey));
    const std::string plain(input.substr(0, input.find('\0')));
    if (!plain.empty() &&
        unscrambleCredential(scrambleCredential(plain, credentialKey), credentialKey) != plain) {
        __builtin_trap();  // a text must come back as it went in
    }
    return 0;
}
