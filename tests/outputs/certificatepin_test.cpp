// The fingerprint of a certificate, as the user stores it and as openssl prints it.

#include "outputs/certificatepin.h"

#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdio>
#include <memory>

#include "../tempfolder.h"
#include "servertest.h"

namespace {

const std::string kShown =
    "3F:A0:1B:C2:D3:E4:F5:06:17:28:39:4A:5B:6C:7D:8E:9F:A0:B1:C2:D3:E4:F5:06:17:28:39:4A:5B:6C:7D:"
    "8E";

TEST(CertificatePin, TheFingerprintIsComparedWithoutRegardToCaseOrColons) {
    EXPECT_TRUE(sameFingerprint(kShown, kShown));
    EXPECT_TRUE(sameFingerprint("3fa01bc2d3e4f5061728394a5b6c7d8e9fa0b1c2d3e4f5061728394a5b6c7d8e",
                                kShown));
    EXPECT_TRUE(sameFingerprint(
        "3f:a0:1b:c2:d3:e4:f5:06:17:28:39:4a:5b:6c:7d:8e:9f:a0:b1:c2:d3:e4:f5:06:17:28:39:4a:5b:6c:"
        "7d:8e",
        kShown));
    EXPECT_FALSE(sameFingerprint("3FA01BC2D3E4F5061728394A5B6C7D8E9FA0B1C2D3E4F5061728394A5B6C7D8F",
                                 kShown));
}

TEST(CertificatePin, GarbageMatchesNothing) {
    for (const std::string& pinned :
         {std::string(), std::string(":"), kShown.substr(0, kShown.size() - 3), kShown + ":00",
          kShown.substr(0, kShown.size() - 1) + "G", " " + kShown, kShown + "\n",
          std::string(64, 'x')})
        EXPECT_FALSE(sameFingerprint(pinned, kShown)) << pinned;
    // Nor does an empty fingerprint of a certificate that could not be read match garbage.
    EXPECT_FALSE(sameFingerprint("", ""));
    EXPECT_FALSE(sameFingerprint("zz", "zz"));
}

TEST(CertificatePin, TheFingerprintIsTheOneOpensslPrints) {
    const TempFolder folder;
    ASSERT_TRUE(makeCertificate(folder.path()));
    const std::unique_ptr<FILE, decltype(&std::fclose)> file(
        std::fopen((folder / "cert.pem").c_str(), "r"), std::fclose);
    ASSERT_TRUE(file);
    const std::unique_ptr<X509, decltype(&X509_free)> certificate(
        PEM_read_X509(file.get(), nullptr, nullptr, nullptr), X509_free);
    ASSERT_TRUE(certificate);
    const std::string printed = opensslFingerprint(folder / "cert.pem");
    ASSERT_EQ(printed.size(), 95u) << printed;
    EXPECT_EQ(certificateFingerprint(certificate.get()), printed);
}

}  // namespace
